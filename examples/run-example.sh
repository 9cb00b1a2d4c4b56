#!/usr/bin/env bash
# Runs the built hvprereqhandler on an example machine, as the agent would.
#
#   examples/run-example.sh <build-dir> [display name]
#
# The machine is emulated (platform/posix): its registry is a .reg file
# (examples/uninstall/registry.reg, rendered into the work folder), its
# uninstall programs and Windows Installer are the small scripts next to it,
# put first on PATH. The work folder <build-dir>/example-run is recreated on
# every run, so the example always starts from the same machine.
#
# Prints the tool's exit code, the commands the example uninstall programs
# received, where the log is, and the log itself.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build_arg=${1:-build}
product=${2:-Contoso Widget}

if [[ ! -d $build_arg ]]; then
  echo "run-example: build folder '$build_arg' not found; run 'make build' first" >&2
  exit 2
fi
build=$(cd "$build_arg" && pwd)
tool=$build/uninstall/hvprereqhandler
if [[ ! -x $tool ]]; then
  echo "run-example: $tool not found; run 'make build' first" >&2
  exit 2
fi

work=$build/example-run
rm -rf "$work"
mkdir -p "$work/bin" "$work/agent" "$work/system32"

# The agent's installation folder as the agent stores it: with a trailing
# separator, so that the log folder is <agent>/logs.
agent_dir=$(printf '%s' "$work/agent/" | sed -e 's/[\\|&]/\\&/g')
sed -e "s|@AGENT_DIR@|$agent_dir|g" "$here/uninstall/registry.reg" >"$work/registry.reg"
install -m 755 "$here/uninstall/vendor-uninstaller.sh" "$work/bin/ContosoUninstall.exe"
install -m 755 "$here/uninstall/vendor-uninstaller.sh" "$work/bin/NorthwindUninstall.exe"
install -m 755 "$here/uninstall/msiexec.sh" "$work/bin/MsiExec.exe"
: >"$work/received-commands.txt"

echo "== hvprereqhandler example =="
echo "Registry:      $work/registry.reg"
echo "Installed:     Contoso Widget (32-bit view, quiet uninstall command)"
echo "               Tailspin Studio (64-bit view, Windows Installer product)"
echo "               Northwind Notes (32-bit view, not named by a product code)"
echo "Command:       hvprereqhandler -dis \"$product\" -p ContosoWidget.exe"
echo

set +e
(
  cd "$work"
  env PATH="$work/bin:$PATH" \
    HV_REGISTRY_FILE="$work/registry.reg" \
    HV_SYSTEM_DIR="$work/system32" \
    EXAMPLE_DIR="$work" \
    "$tool" -dis "$product" -p ContosoWidget.exe
)
code=$?
set -e

echo "Exit code:     $code  (0: uninstalled, 1: nothing uninstalled, 32: product running)"
echo
echo "Commands the example uninstall programs received:"
if [[ -s $work/received-commands.txt ]]; then
  sed 's/^/  /' "$work/received-commands.txt"
else
  echo "  (none)"
fi
echo
echo "Still registered afterwards:"
grep -o '"DisplayName"="[^"]*"' "$work/registry.reg" | sed 's/"DisplayName"="\(.*\)"/  \1/' || true
echo
log=$work/agent/logs/hvprereqhandler.log
echo "Log:           $log"
echo "----------------------------------------------------------------------"
if [[ -f $log ]]; then cat "$log"; else echo "(no log written)"; fi
echo "----------------------------------------------------------------------"

# The default product is installed and its uninstaller succeeds; anything
# else from it means the tool is broken.
if [[ $# -lt 2 && $code -ne 0 ]]; then
  echo "run-example: expected exit code 0 for \"$product\", got $code" >&2
  exit 1
fi
if ((code > 32)); then
  echo "run-example: the tool ended abnormally ($code)" >&2
  exit 1
fi
