#!/usr/bin/env bash
# Fails when a GUI file outside gui/main/ includes the main window's header: the forms (options,
# request, start-up) and the other folders know only what they ask of their owner, through their
# own signals or interfaces, so that a change to the main window rebuilds and can break only the
# main window.
set -euo pipefail
gui=${1:?usage: check_gui_forms.sh GUI_FOLDER}
status=0
while IFS= read -r hit; do
    echo "${hit%%:*} includes the main window (main/frm_main.h)"
    status=1
done < <(grep -rHE '^#include "main/frm_main\.h"' "$gui" --include='*.cpp' --include='*.h' --exclude-dir=main || true)
[ $status -eq 0 ] && echo "gui: no file outside main/ includes the main window"
exit $status
