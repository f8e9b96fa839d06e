# SPDX-License-Identifier: LGPL-2.1-or-later
# start_xvfb DIR [SCREEN]: a private X server (Xvfb) on a free display, ready for clients. It
# never resets: a server that resets when its last client leaves refuses the clients that
# connect meanwhile (the readiness probe here, the accessibility bus launcher, the program).
# Exports DISPLAY, sets XVFB_PID and logs to DIR/xvfb.log. The server names its display on
# fd 3 once it listens; a server that then does not answer a client within 5 s is ended and
# another started, up to three times.
start_xvfb() {
    local dir=$1 screen=${2:-1024x768x24} attempt
    unset XAUTHORITY
    for attempt in 1 2 3; do
        rm -f "$dir/display"
        Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$dir/display" >>"$dir/xvfb.log" 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 200); do
            [ -s "$dir/display" ] && break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.05
        done
        if [ -s "$dir/display" ]; then
            export DISPLAY=:$(head -n 1 "$dir/display")
            for _ in $(seq 100); do
                xdpyinfo >/dev/null 2>&1 && return 0
                kill -0 "$XVFB_PID" 2>/dev/null || break
                sleep 0.05
            done
        fi
        echo "start_xvfb: attempt $attempt: display '$(cat "$dir/display" 2>/dev/null)' did not answer" \
            >>"$dir/xvfb.log"
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    done
    return 1
}

# accessibility_bus_answers: the launcher on the session bus names the accessibility bus, and
# the registry on that bus answers (it is started on demand by the call).
accessibility_bus_answers() {
    local address
    address=$(gdbus call --session --timeout 2 --dest org.a11y.Bus --object-path /org/a11y/bus \
        --method org.a11y.Bus.GetAddress 2>/dev/null) || return 1
    address=${address#(\'}
    address=${address%\',)}
    [ -n "$address" ] || return 1
    gdbus call --address "$address" --timeout 2 --dest org.a11y.atspi.Registry \
        --object-path /org/a11y/atspi/accessible/root --method org.freedesktop.DBus.Peer.Ping \
        >/dev/null 2>&1
}

# start_accessible_x DIR: start_xvfb, then the accessibility bus launcher (it starts the bus and,
# on demand, the registry, in a process group of its own) on the session bus already running,
# and the environment that puts Qt programs on that bus. Returns once the accessibility bus and
# its registry answer, so that the program finds them at its start. Adds what it started to pids
# and groups (tests/cli/lib.sh) and fails the test when the X server or the bus does not start.
start_accessible_x() {
    local dir=$1
    start_xvfb "$dir" || fail "Xvfb did not start"
    pids+=("$XVFB_PID")
    setsid /usr/libexec/at-spi-bus-launcher --launch-immediately >"$dir/atspi.log" 2>&1 &
    groups+=($!)
    local _
    for _ in $(seq 100); do
        accessibility_bus_answers && break
        sleep 0.1
    done
    accessibility_bus_answers || fail "the accessibility bus did not answer within 10 s"
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb
}
