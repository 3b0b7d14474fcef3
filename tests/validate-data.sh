#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The desktop entry, the AppStream metainfo and the manual pages, as the
# distributions' own validators see them. Any word from them, hints and
# warnings included, fails the test.
#   validate-data.sh DESKTOP METAINFO MANPAGE...
set -uo pipefail
desktop="$1" metainfo="$2"
shift 2
status=0
said="$(desktop-file-validate "$desktop" 2>&1)" || status=1
[[ -z "$said" ]] || { echo "$said"; status=1; }
# The id's capital letter is usual for reverse-DNS ids; only pedantic notes it.
appstreamcli validate --no-net --explain "$metainfo" || status=1
for page in "$@"; do
    said="$(MANWIDTH=80 man --warnings=all -l "$page" 2>&1 >/dev/null)"
    [[ -z "$said" ]] || { echo "$page: $said"; status=1; }
done
exit "$status"
