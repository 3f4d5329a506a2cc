// DLLServices: the shell with its save/clear/restore-error discipline and
// the requests that hosts use (host texts, silent mode, parameters, the
// report of the last run, cancelling).
#include "ext/services.h"

#include <string.h>
#include "base/engine_state.h"
#include "base/error_info.h"
#include "base/heap.h"
#include "lang/params.h"
#include "lang/variables.h"
#include "lib/debug.h"

namespace {

// One request's session: the engine block and the variable table locked,
// the pending error put aside so that an error raised underneath can be
// told apart, and put back (or replaced by request 13) at the end. The
// block may come as its handle or, from an extender, as its address;
// GlobalLock returns an address unchanged.
class ServiceSession {
public:
    explicit ServiceSession(void* engine) : engine_(engine) {
        st_ = engine ? static_cast<EngineState*>(GlobalLock(engine)) : nullptr;
        if (!st_) return;
        table_locked_ = lock_current_table(st_);
        saved_error_ = st_->error;
        st_->error = 0;
    }
    ~ServiceSession() {
        if (!st_) return;
        st_->error = saved_error_;
        if (table_locked_) unlock_current_table(st_);
        GlobalUnlock(engine_);
    }
    EngineState* state() const { return st_; }
    bool table_locked() const { return table_locked_; }
    void set_error_after(uint16_t error) { saved_error_ = error; }

private:
    void* engine_;
    EngineState* st_ = nullptr;
    bool table_locked_ = false;
    uint16_t saved_error_ = 0;
};

struct Request {
    EngineState* st;
    ServiceSession* session;
    uintptr_t a2, a3;
    int32_t a4;
    uintptr_t a5;
    const char* text2() const { return reinterpret_cast<const char*>(a2); }
};

void copy_text(char* to, size_t size, const char* from) { lstrcpynA(to, from ? from : "", (int)size); }

intptr_t include_flags(const Request& r) {
    uint32_t previous = r.st->include_flags;
    if (r.a4 != -1) r.st->include_flags = static_cast<uint32_t>(r.a4);
    return previous;
}

intptr_t run_report(const Request& r) {
    auto* report = reinterpret_cast<KestrRunReport*>(r.a2);
    if (!report || report->size < sizeof(KestrRunReport)) return 0;
    const ErrorReport& last = r.st->last_report;
    report->run_error = r.st->last_run_error;
    report->run_result = r.st->last_run_result;
    report->error = last.number;
    report->line = last.line;
    copy_text(report->file, sizeof report->file, last.file);
    copy_text(report->message, sizeof report->message, last.text);
    return 1;
}

intptr_t parameters(const Request& r) {
    if (!r.session->table_locked()) return 0;
    if (r.a2) return SetScriptParameters(r.st, r.text2());
    return SetScriptParametersW(r.st, reinterpret_cast<const wchar_t*>(r.a3));
}

// Other values of a4 only read the setting.
intptr_t silent_mode(const Request& r) {
    int32_t previous = r.st->silent;
    if (r.a4 == 0 || r.a4 == 1) {
        r.st->silent = r.a4;
        if (r.a2) copy_text(r.st->log_file, sizeof r.st->log_file, r.text2());
    }
    return previous;
}

intptr_t silent_message(const Request& r) {
    if (r.a4 <= 0) return 0;
    if (r.a2) copy_text(reinterpret_cast<char*>(r.a2), (size_t)r.a4, r.st->silent_text);
    if (r.a3) copy_text(reinterpret_cast<char*>(r.a3), (size_t)r.a4, r.st->silent_caption);
    return r.st->silent_text[0] || r.st->silent_caption[0];
}

// The trace as DebugTrace(1 or 2, file) would set it, for a host that
// traces a whole run; it stays on until switched off.
intptr_t trace(const Request& r) {
    if (r.a4 == 0) return DebugTraceRequest(r.st, 0, "", "");
    const int32_t request = r.a4 == 2 ? 2 : 1;
    return DebugTraceRequest(r.st, request, r.a2 ? r.text2() : "", "");
}

intptr_t heap_copy(const Request& r) {
    const char* text = r.a2 ? r.text2() : "";
    return heap_copy_text(r.st, text, strlen(text));
}

intptr_t error_info(const Request& r) {
    if (r.a2 && r.text2()[0]) AddErrorInfo(r.st, r.text2());
    return 1;
}

intptr_t run_request(const Request& r, uint32_t request) {
    switch (request) {
    case KESTR_SVC_HOST_VERSION:
        copy_text(r.st->host_version_text, sizeof r.st->host_version_text, r.text2());
        return 1;
    case KESTR_SVC_SCRIPT_PATH:
        copy_text(r.st->script_path, sizeof r.st->script_path, r.text2());
        return 1;
    case KESTR_SVC_INCLUDE_FLAGS: return include_flags(r);
    case KESTR_SVC_RUN_REPORT: return run_report(r);
    case KESTR_SVC_PARAMETERS: return parameters(r);
    case KESTR_SVC_SET_ERROR:
        r.session->set_error_after(static_cast<uint16_t>(r.a4));
        return 1;
    case KESTR_SVC_SILENT: return silent_mode(r);
    case KESTR_SVC_SILENT_MESSAGE: return silent_message(r);
    case KESTR_SVC_TRACE: return trace(r);
    case KESTR_SVC_HEAP_ADDRESS: return reinterpret_cast<intptr_t>(heap_at(r.st, (uint32_t)r.a5));
    case KESTR_SVC_HEAP_COPY: return heap_copy(r);
    case KESTR_SVC_ERROR_INFO: return error_info(r);
    case KESTR_SVC_HOST_WINDOW: return reinterpret_cast<intptr_t>(r.st->host_window);
    default: return 1;
    }
}

// The console host asks from its control-handler thread while the script
// runs on the main thread: only the two cancel words are written, without
// the session's error juggling, which would race with the running script.
intptr_t request_cancel(void* engine) {
    auto* st = engine ? static_cast<EngineState*>(GlobalLock(engine)) : nullptr;
    if (!st) return 0;
    intptr_t done = 0;
    if (!st->cancel_disabled) {
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&st->report_cancel), 1);
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&st->cancel_requested), 1);
        done = 1;
    }
    GlobalUnlock(engine);
    return done;
}

}  // namespace

intptr_t __stdcall DLLServices(void* engine, uint32_t request, uintptr_t a2, uintptr_t a3, int32_t a4,
                               uintptr_t a5) {
    request &= 0xFFFF;
    if (request > KESTR_SVC_LAST) return 0;
    if (request == KESTR_SVC_CANCEL) return request_cancel(engine);
    ServiceSession session(engine);
    if (!session.state()) return 0;
    Request r{session.state(), &session, a2, a3, a4, a5};
    intptr_t result = run_request(r, request);
    // An error raised by the engine code underneath voids the answer; the
    // session then restores the error that was pending before.
    return session.state()->error ? 0 : result;
}
KESTR_STDCALL_EXPORT(DLLServices, 24);
