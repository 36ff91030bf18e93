# Shell pieces the tools share; sourced by them, never run on its own.

# Installs those of the given Debian packages that are missing, non-interactively, as root
# or through sudo. Does nothing when all are present.
install_missing() {
    missing=""
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $package"
    done
    [ -n "$missing" ] || return 0
    echo "Installing:$missing"
    # shellcheck disable=SC2086
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -q -o Dpkg::Use-Pty=0 update &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -q -o Dpkg::Use-Pty=0 install -y \
            --no-install-recommends $missing
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Whether this machine runs 32-bit x86 programs, found by running one: a 96-byte i386 Linux
# program whose only instructions are exit(0). Some kernels are booted without 32-bit
# support, and nothing short of a reboot changes that, so every tool asks rather than
# assumes. When the answer is no, i686_why_not says why. FORCE_NO_I686=1 forces the answer
# to no, to try that path on a machine that runs 32-bit programs.
i686_runs() {
    if [ "${FORCE_NO_I686:-0}" = 1 ]; then
        i686_why_not="FORCE_NO_I686=1 is set"
        return 1
    fi
    probe=$(mktemp "${TMPDIR:-/tmp}/i686-probe.XXXXXX")
    elf_header='\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'
    program_header='\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0'
    exit_zero='\270\1\0\0\0\273\0\0\0\0\315\200'
    printf "$elf_header$program_header$exit_zero" >"$probe"
    chmod +x "$probe"
    probe_status=0
    "$probe" 2>/dev/null || probe_status=$?
    rm -f "$probe"
    [ "$probe_status" = 0 ] && return 0
    i686_why_not="this machine's kernel runs no 32-bit programs (booting it with ia32_emulation=on brings them back)"
    return 1
}

# Starts an Xvfb display on a free number and exports DISPLAY; stop_display ends it.
start_display() {
    display=$((100 + $$ % 800))
    while [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display"
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        [ -e "/tmp/.X11-unix/X$display" ] && break
        sleep 0.2
    done
}

stop_display() {
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
}

# The project's version as the build tree's CMake cache holds it: project_version TREE
project_version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}
