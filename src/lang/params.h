// The script-parameter splitter that fills param0, param1 ...
#pragma once

struct EngineState;

// Splits a parameter line into param1.. and sets param0; returns the count.
int SetScriptParameters(EngineState* st, const char* line);
int SetScriptParametersW(EngineState* st, const wchar_t* line);
