# Shared Wine helpers for scripts and test wrappers.
WINE=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winemenubuilder.exe=d;mscoree=d;mshtml=d"}

# Makes (once) a prefix with a private HOME, without the window-manager stall.
# The 64-bit loader makes it whichever loader runs the tests: a 64-bit Windows,
# where 32-bit programs run beside 64-bit ones with their own registry view.
wine_prepare_prefix() {
    local maker=/usr/lib/wine/wine64
    [ -x "$maker" ] || maker=$WINE
    if [ -z "${WINEPREFIX:-}" ]; then
        export WINEPREFIX="${QM_WINE_ROOT:-/tmp/qm-wine-$(id -u)}/prefix"
    fi
    local root
    root=$(dirname "$WINEPREFIX")
    mkdir -p "$root"
    export HOME="$root/home"
    mkdir -p "$HOME"
    if [ ! -f "$WINEPREFIX/.qm-ready" ]; then
        (
            flock 9
            if [ ! -f "$WINEPREFIX/.qm-ready" ]; then
                "$maker" wineboot -i >/dev/null 2>&1 || true
                "$maker" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
                /usr/lib/wine/wineserver -w 2>/dev/null || wineserver -w 2>/dev/null || true
                touch "$WINEPREFIX/.qm-ready"
            fi
        ) 9>"$root/.lock"
    fi
}
