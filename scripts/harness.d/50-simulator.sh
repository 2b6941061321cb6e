# Simulated touch driver and PnP fixture: installs and starts them in the harness prefix, so that
# every Wine test finds \\.\VOVUDA ready with no controllers, no faults and no device nodes of
# the fixture. Tests configure what they need and reset after themselves.
_touchsim=$QELVO_BUILD_DIR/win64/simulator/bin/touchsim.exe
if [[ ! -f $_touchsim ]]; then
    echo "harness: $_touchsim is missing; build the win64 tree first" >&2
    return 1
fi
_touchsim_run() {
    timeout 300 "$QELVO_WINE64" "$_touchsim" "$@" >>"$QELVO_LOG_DIR/touchsim.log" 2>&1
}
if ! _touchsim_run install || ! _touchsim_run reset || ! _touchsim_run node clear; then
    echo "harness: installing the touch simulator failed (see $QELVO_LOG_DIR/touchsim.log)" >&2
    return 1
fi
