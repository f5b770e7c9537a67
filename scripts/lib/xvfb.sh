# Starts a private Xvfb for GUI programs under Wine and stops it by process id.
xvfb_pid=""
xvfb_start() {
    local dir=$1 n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] && continue
        # No inherited descriptors: the locks of xvfb_join must not live on in it.
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$dir/xvfb.log" 2>&1 8>&- 9>&- &
        xvfb_pid=$!
        sleep 0.5
        if kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
    done
    echo "could not start Xvfb" >&2
    return 1
}
xvfb_stop() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
}

# For callers without a display (a plain ctest from a text terminal): one
# private Xvfb shared by every Wine program run under the folder root, which
# holds the prefix. The first caller starts it; every caller keeps a shared
# lock on root/xvfb.users open on descriptor 9 while its program runs (Wine's
# own processes inherit it). Once nobody has held that lock for a few seconds,
# a watcher ends the prefix's wineserver, whose desktop process draws on that
# display, and then stops Xvfb by its process id.
xvfb_join() {
    local root=$1 state="$1/xvfb.display" n pid
    exec 8>"$root/xvfb.start"
    flock -x 8
    exec 9>"$root/xvfb.users"
    flock -s 9
    if [ -f "$state" ] && read -r n pid <"$state" && kill -0 "$pid" 2>/dev/null; then
        export DISPLAY=":$n"
    elif xvfb_start "$root"; then
        echo "${DISPLAY#:} $xvfb_pid" >"$state"
        xvfb_watch "$root" "$xvfb_pid" </dev/null >/dev/null 2>&1 8>&- 9>&- &
    fi
    exec 8>&-
    [ -n "${DISPLAY:-}" ]
}

xvfb_watch() {
    local root=$1 pid=$2 idle=0
    while kill -0 "$pid" 2>/dev/null; do
        sleep 1
        exec 8>"$root/xvfb.start"
        flock -x 8
        if flock -x -n "$root/xvfb.users" true; then
            idle=$((idle + 1))
        else
            idle=0
        fi
        if [ "$idle" -ge 3 ]; then
            WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
            kill "$pid" 2>/dev/null || true
            rm -f "$root/xvfb.display"
            exec 8>&-
            return 0
        fi
        exec 8>&-
    done
    rm -f "$root/xvfb.display"
}
