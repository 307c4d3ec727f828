#!/bin/sh
# Runs Wine's loader ($STAVA_WINE_LOADER, which scripts/wine-lane.sh sets)
# with the arguments given, the Linux side's address layout not
# randomised; the processes that Wine starts inherit that.
#
# Why: Debian's Wine 8.0 comes without wine-preloader, which reserves the
# addresses that Windows programs need before the Linux side maps anything.
# With the layout randomised, now and then the C library's heap or a
# mapping lies where Wine must place the shared user data page or the
# program's image, and the start fails with STATUS_CONFLICTING_ADDRESSES
# (c0000018) before the program runs: the process ends with status 1 and,
# with WINEDEBUG=-all, no word ("failed to map the shared user data"), or
# Wine falls back on start.exe, which prints "Application could not be
# started ... ShellExecuteEx failed: Internal error." (seen here about once
# in 3,400 starts of reg.exe). Windows has no such failure.
exec setarch "$(uname -m)" --addr-no-randomize "${STAVA_WINE_LOADER:?}" "$@"
