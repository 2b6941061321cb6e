# Simulated touch driver and PnP fixture: installs and starts them in the harness prefix, so that
# every Wine test finds \\.\VOVUDA ready with no controllers, no faults and no device nodes of
# the fixture. Tests configure what they need and reset after themselves.
_touchsim=$QELVO_BUILD_DIR/win64/simulator/bin/touchsim.exe
if [[ ! -f $_touchsim ]]; then
    echo "harness: $_touchsim is missing; build the win64 tree first" >&2
    return 1
fi
_touchsim_run() {
    timeout 300 "$QELVO_ROOT/scripts/wine-run" "$_touchsim" "$@" >>"$QELVO_LOG_DIR/touchsim.log" 2>&1
}
if ! _touchsim_run install; then
    # In the session that created the prefix Wine does not start a kernel driver (error 1053);
    # the next session does. Restart the harness's session once and start the driver there.
    echo "harness: restarting the Wine session to start the touch simulator" >&2
    qelvo_session_restart && _touchsim_run start || {
        echo "harness: starting the touch simulator failed; the end of $QELVO_LOG_DIR/touchsim.log:" >&2
        tail -n 20 "$QELVO_LOG_DIR/touchsim.log" >&2
        return 1
    }
fi
# Right after the driver starts, the device may not answer yet (seen once in a fresh three-display
# prefix): the first clean reset within a minute counts, and the driver is started again on the way.
_touchsim_clean() {
    _touchsim_run reset && _touchsim_run node clear && return 0
    _touchsim_run start
    return 1
}
if ! qelvo_wait_for 60 "a clean touch simulator" _touchsim_clean; then
    echo "harness: resetting the touch simulator failed; the end of $QELVO_LOG_DIR/touchsim.log:" >&2
    tail -n 20 "$QELVO_LOG_DIR/touchsim.log" >&2
    return 1
fi
