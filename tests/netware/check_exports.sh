#!/bin/sh
# check_exports.sh DLL OBJDUMP
# The bridge's export table must name exactly the three queries and the thunk
# data block, undecorated: the programs and the 16-bit side look them up by
# these names. Where the symbol table is kept, the two queries that take an
# argument must also carry the callee-clears decoration (@4).
# Exit 77 (skipped) when the library has not been built.
dll=$1
objdump=$2
if [ ! -f "$dll" ]; then
  echo "skipped: $dll is not built"
  exit 77
fi
names=$("$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
  | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort | tr '\n' ' ')
expected="getNWPmailFile32 getNWServerIndex32 getNWServerTable32 thk_ThunkData32 "
if [ "$names" != "$expected" ]; then
  echo "exports of $dll: '$names'"
  echo "expected:        '$expected'"
  exit 1
fi
symbols=$("$objdump" -t "$dll" 2>/dev/null)
case "$("$objdump" -f "$dll")" in
*"file format pei-i386"*)
  if [ -n "$symbols" ]; then
    for name in _getNWServerIndex32@4 _getNWPmailFile32@4 _getNWServerTable32@0; do
      echo "$symbols" | grep -q " $name\$" || { echo "$name not found: not callee-clears?"; exit 1; }
    done
  fi
  ;;
esac
echo "exports of $dll: $names"
