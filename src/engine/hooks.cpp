// The one list of hooks between the engine's floors.
#include "engine/hooks.h"

#include "base/upcalls.h"
#include "engine/run_loop.h"
#include "engine/script_loading.h"
#include "ext/services.h"
#include "lang/error_driver.h"
#include "lang/functions.h"
#include "lib/builtins.h"
#include "lib/dispatch.h"

void install_engine_hooks() {
    g_upcalls.dispatch_function = DispatchFunction;
    g_upcalls.reads_texts_only = builtin_reads_texts_only;
    g_upcalls.run_script = RunScript;
    g_upcalls.run_script_file = LoadScriptFile;
    g_upcalls.report_error = ReportError;
    g_upcalls.services = DLLServices;
    install_function_hooks();
}
