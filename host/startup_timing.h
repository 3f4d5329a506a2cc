// The --timing report: how long the runner's own start-up steps took, on
// standard error, so that start-up cost can be measured without a profiler.
#pragma once

// The steps, in the order a run passes them.
enum class StartupStep { DllLoaded, EngineStarted, ScriptRan, Count };

// Turns the report on; steps are noted either way, which costs a counter read.
void enable_startup_timing();
void note_startup_step(StartupStep step);
// "qob: timing: ..." with the time from process creation to the first step
// mark, then each step's share, in milliseconds. Nothing unless enabled.
void report_startup_timing();
