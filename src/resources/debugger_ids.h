// Control ids of the interactive debugger's dialog (DEBUG), shared by
// debugger.rc and DebugProc; plain defines so that the resource compiler reads them.
#pragma once

#define IDC_DEBUG_NEXT 1        // "&Next": run the statement
#define IDC_DEBUG_CANCEL 2      // "&Cancel": stop the script (9999)
#define IDC_DEBUG_RUN 3         // "&Run": debugger off, run on
#define IDC_DEBUG_SHOW_VAR 4    // "&Show Var"
#define IDC_DEBUG_STATEMENT 10  // the statement about to run
#define IDC_DEBUG_OUTCOME 12    // the previous statement's outcome
#define IDC_DEBUG_VARIABLE 14   // a variable name, replaced by its value
#define IDC_DEBUG_LABEL 201     // "Next Statement..."
