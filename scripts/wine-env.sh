# Sourced with the build folder as argument: puts Wine's environment in place for that build tree.
# Programs run in a private prefix inside the build tree, never in the user's own: the template
# prefix (created on first use) when no test session is open, otherwise the session's fresh prefix
# and its Xvfb display. HOME points into the build tree too, so Wine's links to the user's folders
# stay inside it.
gradivo_build=$(cd "$1" && pwd)
GRADIVO_WINE_ROOT=$gradivo_build/wine
GRADIVO_WINE=/usr/lib/wine/wine64
GRADIVO_WINESERVER=/usr/lib/wine/wineserver
[ -x "$GRADIVO_WINESERVER" ] || GRADIVO_WINESERVER=$(command -v wineserver)
export GRADIVO_WINE_ROOT GRADIVO_WINE GRADIVO_WINESERVER
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$GRADIVO_WINE_ROOT/home
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_DESKTOP_DIR WINEARCH
mkdir -p "$HOME"

# gradivo_wine_template: creates the template prefix once per build tree; concurrent callers wait.
# 64-bit Windows always has the list of uninstallable programs in the 32-bit view of the registry;
# Wine without its 32-bit part does not, so the template gets that (empty) key. The marker's name
# changes with what the template holds, so that older templates are made again.
gradivo_wine_template() {
  local template=$GRADIVO_WINE_ROOT/template
  local ready=$template/.ready-2
  [ -f "$ready" ] && return 0
  mkdir -p "$GRADIVO_WINE_ROOT"
  (
    flock 9
    if [ ! -f "$ready" ]; then
      rm -rf "$template"
      WINEPREFIX=$template "$GRADIVO_WINE" wineboot -i >/dev/null 2>&1 || true
      WINEPREFIX=$template "$GRADIVO_WINE" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
        /reg:32 /f >/dev/null 2>&1 || true
      WINEPREFIX=$template "$GRADIVO_WINESERVER" -w
      [ -f "$template/system.reg" ] || { echo "wine: could not create the prefix $template" >&2; exit 1; }
      touch "$ready"
    fi
  ) 9>"$GRADIVO_WINE_ROOT/.template.lock"
}

gradivo_session_env=$GRADIVO_WINE_ROOT/session.env
if [ -f "$gradivo_session_env" ] && (. "$gradivo_session_env" && kill -0 "${GRADIVO_XVFB_PID:-0}") 2>/dev/null; then
  . "$gradivo_session_env"
  export WINEPREFIX DISPLAY
else
  gradivo_wine_template
  export WINEPREFIX=$GRADIVO_WINE_ROOT/template
fi
