// The runtime's argument accessors of the native build, answering with the given vector.
#include "given_arguments.h"

namespace {

int g_count = 0;
char** g_vector = nullptr;

} // namespace

void giveArguments(int count, char** vector) {
    g_count = count;
    g_vector = vector;
}

int* __p___argc() {
    return &g_count;
}

char*** __p___argv() {
    return &g_vector;
}
