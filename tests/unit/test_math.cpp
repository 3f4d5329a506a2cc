// The number tests on OLE variants, which a script cannot make by hand:
// a variant is judged by its text, not by what OLE would convert it to.
#include "builtin_fixture.h"
#include "lib/dispatch.h"

namespace {

class MathBuiltins : public BuiltinTest {
protected:
    int32_t test_variant(const char* name, VARTYPE type, double real, const wchar_t* text) {
        ReleaseValue(st, &args[1].v, RK_VALUE, 0);
        ReleaseValue(st, &result.v, RK_VALUE, 0);
        st->error = 0;
        args[1].v.variant.vt = type;
        if (type == VT_R8) args[1].v.variant.dblVal = real;
        if (type == VT_I4) args[1].v.variant.lVal = static_cast<LONG>(real);
        if (type == VT_BSTR) args[1].v.variant.bstrVal = SysAllocString(text);
        args[1].v.flags = VF_VARIANT;
        EXPECT_TRUE(DispatchFunction(st, name, false, id_named(name), &result, args, 1));
        return result.v.integer;
    }
};

TEST_F(MathBuiltins, NumberTestsJudgeVariantsByTheirText) {
    // OLE alone would call the VT_R8 2.5 an I4 2.
    const struct { const char* name; VARTYPE type; double real; const wchar_t* text; int32_t want; } cases[] = {
        {"isint", VT_R8, 2.5, nullptr, 0}, {"isint", VT_R8, 3.0, nullptr, 0}, {"isfloat", VT_R8, 2.5, nullptr, 1},
        {"isint", VT_I4, 7, nullptr, 1}, {"isint", VT_BSTR, 0, L"2.5", 0}, {"isnumber", VT_BSTR, 0, L"2.5", 1},
        {"isnumber", VT_BSTR, 0, L"x", 0}};
    for (const auto& c : cases) EXPECT_EQ(test_variant(c.name, c.type, c.real, c.text), c.want) << c.name << " " << c.real;
}

}  // namespace
