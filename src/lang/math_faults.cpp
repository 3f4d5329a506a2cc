// Checked calls of the C library's math functions: a fault becomes the
// pending floating-point error number.
#include "lang/math_faults.h"

#include <float.h>
#include <math.h>
#include "base/errors.h"
#include "lang/fpfault.h"

namespace {

// Faults are read from the result. The C runtimes under the engine disagree
// on how they report them (flags, errno, or a math-error hook that is
// process-wide and would outlive an unloaded engine), but a NaN or an
// infinity from finite arguments says the same in all of them.
LONG fault_in_result(double r, double x, double y) {
    if (isnan(r) && !isnan(x) && !isnan(y)) return static_cast<LONG>(Err::FpDomainError);
    if (isinf(r) && isfinite(x) && isfinite(y))
        return static_cast<LONG>(x == 0.0 ? Err::FpSingularity : Err::FpOverflow);
    return 0;
}

double checked(double r, double x, double y) {
    if (LONG fault = fault_in_result(r, x, y)) {
        record_fp_fault(fault);
        return 1.0;
    }
    if (r != 0.0 && fabs(r) < DBL_MIN) return 0.0;  // underflow is no error
    return r;
}

}  // namespace

double fp_call(double (*fn)(double), double x) { return checked(fn(x), x, 0.0); }

double fp_call(double (*fn)(double, double), double x, double y) { return checked(fn(x, y), x, y); }
