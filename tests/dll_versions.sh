#!/bin/sh
# Reads back the version resource of each built DLL and checks it carries the project's
# version and its own file name: dll_versions.sh VERSION WINDRES DLL...
set -eu
version=$1
windres=$2
shift 2
numeric=$(echo "$version" | sed 's/\./, /g')
failed=0
for dll in "$@"; do
    resource=$("$windres" -i "$dll" -O rc)
    for wanted in "FILEVERSION $numeric, 0" "PRODUCTVERSION $numeric, 0" \
        "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
        "VALUE \"OriginalFilename\", \"$(basename "$dll")\""; do
        if ! printf '%s\n' "$resource" | grep -q -F "$wanted"; then
            echo "$(basename "$dll"): no $wanted"
            failed=1
        fi
    done
done
[ "$failed" = 0 ] && echo "$# DLLs carry version $version"
exit $failed
