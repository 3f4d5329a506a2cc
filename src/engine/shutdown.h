// Request 99: everything the engine acquired for a state is given back.
#pragma once

struct EngineState;

void release_engine_resources(EngineState* st);
