#!/bin/sh
# Example stand-in for Windows Installer, installed on the example's PATH as
# MsiExec.exe. It writes down the command line it received and, for a removal
# (/x{P} or /X{P}), unregisters product {P}: its uninstall entries disappear
# from the example registry, as they would on Windows.
printf '%s  [ran in %s]\n' "$HV_COMMAND_LINE" "$(pwd -P)" >>"$EXAMPLE_DIR/received-commands.txt"

product=$(printf '%s\n' "$HV_COMMAND_LINE" | sed -n 's/.*\/[xX]\({[^}]*}\).*/\1/p')
if [ -n "$product" ]; then
  awk -v code="$product" '
    /^\[/ { skip = index(toupper($0), "\\UNINSTALL\\" toupper(code) "]") > 0 }
    !skip { print }
  ' "$HV_REGISTRY_FILE" >"$HV_REGISTRY_FILE.new"
  cat "$HV_REGISTRY_FILE.new" >"$HV_REGISTRY_FILE"
  rm -f "$HV_REGISTRY_FILE.new"
fi
exit 0
