#!/bin/sh
# SPDX-License-Identifier: MIT
# help2man reads a program's --help and --version through this script, the
# program being named in KDX_MAN_PROGRAM. kdxctl's usage begins with a lower-case
# "usage:", which help2man does not take for the synopsis, and its exit
# statuses get a section of their own from the include file, so that paragraph
# is left out here.
if [ "${1-}" = --help ]; then
    "$KDX_MAN_PROGRAM" --help | sed -e '1s/^usage:/Usage:/' \
        -e '/^exit status:/,/^[^ ]/{/^exit status:/d;/^  /d;}'
else
    exec "$KDX_MAN_PROGRAM" "$@"
fi
