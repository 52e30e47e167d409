#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 Linux programs, as Wine needs for every
# 32-bit Windows program (Debian's Wine 8 starts them with its i386 loader), and 1 with
# the reason on standard error when it does not: some kernels and hypervisors refuse
# i386 programs (ia32_emulation off; execve gives ENOEXEC).
set -u
loader=/lib/ld-linux.so.2
if [ ! -e "$loader" ]; then
  echo "runs-32-bit: no 32-bit loader ($loader, which scripts/setup-windows.sh installs with wine32:i386)" >&2
  exit 1
fi
if ! "$loader" --version >/dev/null 2>&1; then
  echo "runs-32-bit: this machine refuses 32-bit x86 programs ($loader does not start, IA-32 emulation is off)" >&2
  exit 1
fi
exit 0
