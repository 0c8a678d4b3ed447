#!/usr/bin/env bash
# Writes a program's manual page, gzipped as Debian keeps them, from the
# program's own --help: the page and the help cannot drift apart.
#
#   packaging/man-page.sh PROGRAM_FILE NAME "SUMMARY" VERSION OUT.1.gz
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 PROGRAM_FILE NAME SUMMARY VERSION OUT" >&2; exit 64; }
program=$1 name=$2 summary=$3 version=$4 out=$5
# argv[0] is the bare name: the usage line shows the name a user types, not
# the build folder's path.
help=$(exec -a "$name" "$program" --help)
[ -n "$help" ] || { echo "$0: $name --help printed nothing" >&2; exit 1; }
see_also=""
for other in kt6100 kt6100-cli kt6100-sim; do
  [ "$other" = "$name" ] || see_also+="${see_also:+,$'\n'}.BR $other (1)"
done
{
  printf '.TH %s 1 "" "%s %s" "User Commands"\n' "${name^^}" "$name" "$version"
  printf '.SH NAME\n%s \\- %s\n' "$name" "$summary"
  printf '.SH DESCRIPTION\n.nf\n'
  # Troff's escape character and control characters at the start of a line
  # are text here; an option's dashes are minus signs, not hyphens.
  printf '%s\n' "$help" | sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" \
    -e 's/\(^\|[ ,([]\)--/\1\\-\\-/g' -e 's/\(^\|[ ,([]\)-/\1\\-/g'
  printf '.fi\n.SH SEE ALSO\n%s\n' "$see_also"
} | gzip -9n > "$out.tmp"
mv "$out.tmp" "$out"
