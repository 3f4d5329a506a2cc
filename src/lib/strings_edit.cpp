// String functions that build new text: StrReplace, StrClean, StrFill, the
// StrFix family, StrTrim, case mapping, StrCat, StrInsert and StrOverlay.
#include "base/errors.h"
#include "base/messages.h"
#include "lang/evaluator.h"
#include "lang/lexer.h"
#include "lib/builtins.h"
#include "lib/text_ops.h"

namespace {

constexpr int kMaxCatArguments = 1024;

const Span<char> kSpace{" ", 1};
const Span<wchar_t> kWideSpace{L" ", 1};
inline Span<char> space(char) { return kSpace; }
inline Span<wchar_t> space(wchar_t) { return kWideSpace; }

// A pad or filler argument; empty stands for one space.
template <typename C>
Span<C> pad_arg(const EngineState* st, const Value& arg) {
    const Span<C> pad = arg_span<C>(st, arg);
    return pad.n ? pad : space(C());
}

// ------------------------------------------------------------------ StrReplace

// StrReplace(string, old, new): every non-overlapping occurrence, left to
// right; the size is counted before the one allocation.
TEXT_WORKER(str_replace) {
    const Steps steps(st);
    const Span<C> s = arg_span<C>(st, args[1]);
    const Span<C> old = arg_span<C>(st, args[2]);
    const Span<C> replacement = arg_span<C>(st, args[3]);
    if (s.n == 0 || old.n == 0) return (void)set_result(st, result, s);
    size_t hits = 0;
    for (const C* p = s.p; p < s.end();) {
        if (*p == *old.p && matches_at(steps, p, s.end(), old, false)) {
            ++hits;
            p += old.n;
        } else {
            p += steps.at(p, s.end());
        }
    }
    C* out = new_result_text<C>(st, result, s.n - hits * old.n + hits * replacement.n);
    if (!out) return;
    for (const C* p = s.p; p < s.end();) {
        if (*p == *old.p && matches_at(steps, p, s.end(), old, false)) {
            memcpy(out, replacement.p, replacement.n * sizeof(C));
            out += replacement.n;
            p += old.n;
        } else {
            for (size_t length = steps.at(p, s.end()); length > 0; --length) *out++ = *p++;
        }
    }
}

// ------------------------------------------------------------------ StrClean

template <typename C>
bool in_set(const Steps& steps, const C* c, size_t length, Span<C> set, bool ignore_case) {
    if (!ignore_case) return char_in_set(steps, c, length, set);
    for (const C* q = set.p; q < set.end(); q += steps.at(q, set.end())) {
        if (steps.at(q, set.end()) == length && same_char_nc(q, c, length)) return true;
    }
    return false;
}

// StrClean(string, characters, replacement, match-case, mode): mode 1
// replaces the characters of the set, mode 2 those outside it.
TEXT_WORKER(str_clean) {
    const int32_t match_case = args[4].v.integer;
    const int32_t mode = args[5].v.integer;
    if (match_case != 0 && match_case != 1) return (void)raise(st, Err::StrCleanBadMatchCase);
    if (mode != 1 && mode != 2) return (void)raise(st, Err::StrCleanBadMode);
    const Steps steps(st);
    const Span<C> s = arg_span<C>(st, args[1]);
    const Span<C> set = arg_span<C>(st, args[2]);
    const Span<C> replacement = arg_span<C>(st, args[3]);
    auto replaced = [&](const C* p, size_t length) { return in_set(steps, p, length, set, match_case == 0) == (mode == 1); };
    size_t size = 0;
    for (const C* p = s.p; p < s.end();) {
        const size_t length = steps.at(p, s.end());
        size += replaced(p, length) ? replacement.n : length;
        p += length;
    }
    C* out = new_result_text<C>(st, result, size);
    if (!out) return;
    for (const C* p = s.p; p < s.end();) {
        const size_t length = steps.at(p, s.end());
        const Span<C> piece = replaced(p, length) ? replacement : Span<C>{p, length};
        memcpy(out, piece.p, piece.n * sizeof(C));
        out += piece.n;
        p += length;
    }
}

// ------------------------------------------------------------------ StrFill, StrFix

// How the StrFix family measures: characters, or bytes (a wide unit
// counts the bytes it takes in the engine's code page).
template <typename C>
struct Measure {
    Steps steps;
    bool bytes;
    UINT code_page;
    size_t width(const C* p, size_t length) const;
    size_t of(Span<C> s) const {
        size_t total = 0;
        for (const C* p = s.p; p < s.end();) {
            const size_t length = steps.at(p, s.end());
            total += width(p, length);
            p += length;
        }
        return total;
    }
};
template <>
size_t Measure<char>::width(const char*, size_t length) const { return bytes ? length : 1; }
template <>
size_t Measure<wchar_t>::width(const wchar_t* p, size_t) const {
    if (!bytes || *p < 0x80) return 1;
    const int n = WideCharToMultiByte(code_page, 0, p, 1, nullptr, 0, nullptr, nullptr);
    return n > 0 ? static_cast<size_t>(n) : 1;
}

// Appends characters of `pad`, cycling from its start, while they fit in
// `room` (of the measure); returns the room left.
template <typename C>
bool fill_cycling(EngineState* st, TextBuffer<C>* out, const Measure<C>& measure, Span<C> pad, size_t room) {
    for (const C* p = pad.p; room > 0;) {
        if (p == pad.end()) p = pad.p;
        const size_t length = measure.steps.at(p, pad.end());
        const size_t width = measure.width(p, length);
        if (width > room) break;
        if (!out->append(st, p, length)) return false;
        room -= width;
        p += length;
    }
    return true;
}

// The longest prefix of s that fits in `room`.
template <typename C>
Span<C> fitting_prefix(const Measure<C>& measure, Span<C> s, size_t room) {
    const C* p = s.p;
    while (p < s.end()) {
        const size_t length = measure.steps.at(p, s.end());
        const size_t width = measure.width(p, length);
        if (width > room) break;
        room -= width;
        p += length;
    }
    return Span<C>{s.p, static_cast<size_t>(p - s.p)};
}

// StrFill(filler, length)
TEXT_WORKER(str_fill) {
    const int32_t length = args[2].v.integer;
    TextBuffer<C> out;
    const Measure<C> measure{Steps(st), false, st->code_page};
    if (length > 0 && !fill_cycling(st, &out, measure, pad_arg<C>(st, args[1]), static_cast<size_t>(length))) return;
    (void)out.to_result(st, result);
}

// Cuts or pads base on the right (StrFix) or left (StrFixLeft).
template <typename C>
void fix(EngineState* st, Value* result, Value* args, bool bytes, bool left) {
    const int32_t length = args[3].v.integer;
    if (length < 0) return (void)raise(st, Err::StrFixBadLength);
    const Measure<C> measure{Steps(st), bytes, st->code_page};
    const Span<C> base = arg_span<C>(st, args[1]);
    const Span<C> pad = pad_arg<C>(st, args[2]);
    const size_t room = static_cast<size_t>(length);
    const size_t have = measure.of(base);
    TextBuffer<C> out;
    if (have >= room && !left) return (void)set_result(st, result, fitting_prefix(measure, base, room));
    if (have >= room) {
        // The last characters of base that fit.
        const C* p = base.p;
        for (size_t before = have; before > room; p += measure.steps.at(p, base.end()))
            before -= measure.width(p, measure.steps.at(p, base.end()));
        return (void)set_result(st, result, Span<C>{p, static_cast<size_t>(base.end() - p)});
    }
    if (!left) {
        if (out.append(st, base) && fill_cycling(st, &out, measure, pad, room - have)) (void)out.to_result(st, result);
        return;
    }
    // Only whole copies of pad go in front of base.
    const size_t copies = (room - have) / measure.of(pad);
    for (size_t i = 0; i < copies; ++i) {
        if (!out.append(st, pad)) return;
    }
    if (out.append(st, base)) (void)out.to_result(st, result);
}

// StrFix(base, pad, length) and StrFixChars(base, pad, length)
TEXT_WORKER(str_fix) { fix<C>(st, result, args, false, false); }
// StrFixLeft(base, pad, length) and StrFixCharsL(base, pad, length)
TEXT_WORKER(str_fix_left) { fix<C>(st, result, args, false, true); }
// StrFixBytes(base, pad, length)
TEXT_WORKER(str_fix_bytes) { fix<C>(st, result, args, true, false); }
// StrFixBytesL(base, pad, length)
TEXT_WORKER(str_fix_bytes_left) { fix<C>(st, result, args, true, true); }

// ------------------------------------------------------------------ StrTrim, case

// StrTrim(string): spaces and tabs only; line ends stay.
TEXT_WORKER(str_trim) {
    Span<C> s = arg_span<C>(st, args[1]);
    while (s.n && (*s.p == ' ' || *s.p == '\t')) ++s.p, --s.n;
    while (s.n && (s.p[s.n - 1] == ' ' || s.p[s.n - 1] == '\t')) --s.n;
    set_result(st, result, s);
}

int map_case(DWORD how, Span<char> s, char* out, int room) {
    return LCMapStringA(LOCALE_USER_DEFAULT, how, s.p, static_cast<int>(s.n), out, room);
}
int map_case(DWORD how, Span<wchar_t> s, wchar_t* out, int room) {
    return LCMapStringW(LOCALE_USER_DEFAULT, how, s.p, static_cast<int>(s.n), out, room);
}

template <typename C>
void change_case(EngineState* st, Value* result, Value* args, DWORD how) {
    const Span<C> s = arg_span<C>(st, args[1]);
    if (s.n == 0) return (void)set_result(st, result, s);
    const int size = map_case(how, s, nullptr, 0);
    if (size <= 0) return (void)raise(st, Err::FunctionFailed);
    C* out = new_result_text<C>(st, result, static_cast<size_t>(size));
    if (out) map_case(how, s, out, size);
}

// StrLower(string)
TEXT_WORKER(str_lower) { change_case<C>(st, result, args, LCMAP_LOWERCASE); }
// StrUpper(string)
TEXT_WORKER(str_upper) { change_case<C>(st, result, args, LCMAP_UPPERCASE); }

// ------------------------------------------------------------------ StrCat

struct CatBuffers {
    TextBuffer<char> ansi;
    TextBuffer<wchar_t> wide;
    bool is_wide = false;
};

// The first wide argument turns what was gathered so far into wide text.
bool go_wide(EngineState* st, CatBuffers* cat) {
    cat->is_wide = true;
    const Span<char> a = cat->ansi.span();
    if (a.n == 0) return true;
    const int units = MultiByteToWideChar(st->code_page, 0, a.p, static_cast<int>(a.n), nullptr, 0);
    if (units <= 0) return raise(st, Err::NotConvertibleToString);
    const wchar_t zero = 0;
    for (int i = 0; i < units; ++i) CHECK(cat->wide.append(st, &zero, 1));
    MultiByteToWideChar(st->code_page, 0, a.p, static_cast<int>(a.n), cat->wide.data(), units);
    return true;
}

bool append_argument(EngineState* st, CatBuffers* cat, Value* arg) {
    if ((arg->v.flags & VF_UNICODE) && !cat->is_wide) CHECK(go_wide(st, cat));
    if (cat->is_wide) {
        if (!ToUnicode(st, &arg->v)) return raise(st, Err::NotConvertibleToString);
        return cat->wide.append(st, arg_span<wchar_t>(st, *arg));
    }
    if (!ToString(st, &arg->v)) return raise(st, Err::NotConvertibleToString);
    return cat->ansi.append(st, arg_span<char>(st, *arg));
}

// StrCat(string, ...): reads its own list of up to 1024 arguments and
// leaves the lexer on the closing ")".
BUILTIN(str_cat) {
    CatBuffers cat;
    for (int position = 1;; ++position) {
        if (position > kMaxCatArguments) return (void)raise(st, Err::StrCatSyntaxError);
        get_token(st);
        if (st->error) return;
        Value arg;
        init_value(&arg);
        const bool ok = ProcessSubExpression(st, &arg, 0, 0) != 0 && append_argument(st, &cat, &arg);
        release_value(st, &arg);
        if (!ok) return;
        if (token_is(st, KWID_CLOSE)) break;
        if (!token_is(st, KWID_COMMA)) return (void)raise(st, Err::StrCatSyntaxError);
    }
    if (cat.is_wide)
        (void)cat.wide.to_result(st, result);
    else
        (void)cat.ansi.to_result(st, result);
}

// ------------------------------------------------------------------ StrInsert, StrOverlay

// The pieces both functions assemble: `keep` characters of base (filled
// from pad past its end), `length` characters of new (filled from pad),
// then base from `resume` on.
void splice(EngineState* st, Value* result, Value* args, int count, int64_t keep, int64_t length, int64_t resume) {
    const Span<wchar_t> base = arg_span<wchar_t>(st, args[1]);
    const Span<wchar_t> insert = arg_span<wchar_t>(st, args[2]);
    const Span<wchar_t> pad = count >= 3 ? pad_arg<wchar_t>(st, args[3]) : kWideSpace;
    const Measure<wchar_t> measure{Steps(st), false, st->code_page};
    const size_t from_base = static_cast<size_t>(keep < static_cast<int64_t>(base.n) ? keep : base.n);
    const size_t from_new = static_cast<size_t>(length < static_cast<int64_t>(insert.n) ? length : insert.n);
    TextBuffer<wchar_t> out;
    bool ok = out.append(st, base.p, from_base) &&
              fill_cycling(st, &out, measure, pad, static_cast<size_t>(keep) - from_base) &&
              out.append(st, insert.p, from_new) &&
              fill_cycling(st, &out, measure, pad, static_cast<size_t>(length) - from_new);
    if (ok && resume < static_cast<int64_t>(base.n))
        ok = out.append(st, base.p + resume, base.n - static_cast<size_t>(resume));
    if (ok) (void)out.to_result(st, result);
}

bool check_splice(EngineState* st, int64_t start, int64_t lowest, int64_t length) {
    if (!g_os.is_nt) return raise(st, Err::NotSupportedOnThisWindows);
    if (start < lowest && start != -1) return raise(st, Err::BadStart);
    return length >= 0 || raise(st, Err::BadLength);
}

// StrInsert(base, new [, pad, start, length]): start counts the base
// characters kept in front (-1 all of them).
BUILTIN(str_insert) {
    const int64_t base_length = static_cast<int64_t>(wcslen(value_wtext(st, args[1].v)));
    int64_t start = optional_arg(args, count, 4, 0);
    const int64_t length = count >= 5 ? args[5].v.integer : static_cast<int64_t>(wcslen(value_wtext(st, args[2].v)));
    if (!check_splice(st, start, -1, length)) return;
    if (start == -1) start = base_length;
    splice(st, result, args, count, start, length, start);
}

// StrOverlay(base, new [, pad, start, length]): new overwrites base from
// character start (-1 appends).
BUILTIN(str_overlay) {
    const int64_t base_length = static_cast<int64_t>(wcslen(value_wtext(st, args[1].v)));
    int64_t start = optional_arg(args, count, 4, 1);
    const int64_t length = count >= 5 ? args[5].v.integer : static_cast<int64_t>(wcslen(value_wtext(st, args[2].v)));
    if (!check_splice(st, start, 1, length)) return;
    if (start == -1) start = base_length + 1;
    splice(st, result, args, count, start - 1, length, start - 1 + length);
}

}  // namespace

constexpr BuiltinRow kStringEditBuiltins[] = {
    BUILTIN_ROW("strcat", str_cat),
    BUILTIN_ROW("strclean", TEXT_TWIN_NT(str_clean)),
    BUILTIN_ROW("strfill", TEXT_TWIN(str_fill)),
    BUILTIN_ROW("strfix", TEXT_TWIN(str_fix)),
    BUILTIN_ROW("strfixbytes", TEXT_TWIN(str_fix_bytes)),
    BUILTIN_ROW("strfixbytesl", TEXT_TWIN(str_fix_bytes_left)),
    BUILTIN_ROW("strfixchars", TEXT_TWIN(str_fix)),
    BUILTIN_ROW("strfixcharsl", TEXT_TWIN(str_fix_left)),
    BUILTIN_ROW("strfixleft", TEXT_TWIN(str_fix_left)),
    BUILTIN_ROW("strinsert", str_insert),
    BUILTIN_ROW("strlower", TEXT_TWIN_NT(str_lower)),
    BUILTIN_ROW("stroverlay", str_overlay),
    BUILTIN_ROW("strreplace", TEXT_TWIN(str_replace)),
    BUILTIN_ROW("strtrim", TEXT_TWIN(str_trim)),
    BUILTIN_ROW("strupper", TEXT_TWIN_NT(str_upper)),
};
constexpr size_t kStringEditBuiltinCount = sizeof(kStringEditBuiltins) / sizeof(kStringEditBuiltins[0]);
