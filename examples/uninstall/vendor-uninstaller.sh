#!/bin/sh
# Example of a product's own uninstall program. run-example.sh installs it on
# the example's PATH as ContosoUninstall.exe and NorthwindUninstall.exe.
#
# It writes down the command line it received from hvprereqhandler (the
# emulated host passes it in HV_COMMAND_LINE) and the folder it ran in, then
# unregisters its product, as a real uninstaller does: every uninstall entry
# whose uninstall command starts with this program's name disappears from the
# example registry.
printf '%s  [ran in %s]\n' "$HV_COMMAND_LINE" "$(pwd -P)" >>"$EXAMPLE_DIR/received-commands.txt"

awk -v program="$(basename "$0")" '
  function flush() { if (!drop) printf "%s", section; section = ""; drop = 0 }
  /^\[/ { flush() }
  { section = section $0 "\n" }
  index(tolower($0), tolower("UninstallString\"=\"" program)) > 0 { drop = 1 }
  END { flush() }
' "$HV_REGISTRY_FILE" >"$HV_REGISTRY_FILE.new"
cat "$HV_REGISTRY_FILE.new" >"$HV_REGISTRY_FILE"
rm -f "$HV_REGISTRY_FILE.new"
exit 0
