// Float results that read the same on both builds and every time they are read.
#pragma once

// NOTE: the i686 build computes on the x87 unit, whose registers are wider than a float, so a
// float returned in st(0) can carry excess precision until something stores it. The store
// through a volatile float is that one rounding, done where the result is made.
inline float roundedToFloat(double value) {
    volatile float rounded = static_cast<float>(value);
    return rounded;
}

// a / b rounded once to float. Integers of screen size are exact floats, and their quotient
// taken in double (or in the x87's wider format) and then rounded to float is the correctly
// rounded float quotient, so both builds agree.
inline float roundedQuotient(int a, int b) {
    return roundedToFloat(static_cast<double>(a) / b);
}
