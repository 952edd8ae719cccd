#!/bin/sh
# wine-run.sh WINE PROGRAM [ARGS...]: runs a Windows test program under Wine.
# A host whose kernel runs no 32-bit code cannot start 32-bit Wine; then the
# test is reported as skipped (ctest matches the ZEL_SKIP line) rather than
# failed, since nothing about the program itself is known.
wine="$1"
shift
if [ "${wine##*/}" = wine ] && ! "$wine" --version >/dev/null 2>&1; then
  echo "ZEL_SKIP: $wine cannot run on this host (no 32-bit program support)" >&2
  exit 77
fi
case "${wine##*/}" in
  wine64) export WINELOADER="${WINELOADER:-$wine}" ;;
esac
exec "$wine" "$@"
