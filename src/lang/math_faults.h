// Checked calls of the C library's math functions.
#pragma once

// Calls a library math function. A fault (a NaN or infinite result from
// finite arguments) is left pending in g_pending_fp_error and the result
// becomes 1.0: domain 1341, singularity 1344 (an infinity from 0), overflow
// 1342. Underflow is no fault; its result becomes 0.0. The pending word is
// raised by take_fp_fault().
double fp_call(double (*fn)(double), double x);
double fp_call(double (*fn)(double, double), double x, double y);
