#!/usr/bin/env bash
# Starts the keyvane program offscreen on a demo token and a temporary group directory, waits
# until its first start has recorded the onboarding status, checks that it is still running,
# then asks it to quit and expects a clean exit.
set -euo pipefail
program=$1
module=$2
make_demo_token=$3

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$make_demo_token" --module "$module" "$work/token" > "$work/env"
set -a
. "$work/env"
set +a
export KEYVANE_GROUP_DIR=$work/group QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software XDG_RUNTIME_DIR=$work
mkdir -m 700 "$KEYVANE_GROUP_DIR"

"$program" > "$work/out" 2>&1 &
pid=$!

# Condition wait: the first start writes the onboarding status.
for _ in $(seq 1 300); do
    if grep -q '"onboardingStatus"' "$KEYVANE_GROUP_DIR/preferences.json" 2>/dev/null; then
        break
    fi
    kill -0 "$pid" 2>/dev/null || { cat "$work/out"; echo "keyvane exited early" >&2; exit 1; }
    sleep 0.1
done
grep -q '"onboardingStatus": 0' "$KEYVANE_GROUP_DIR/preferences.json" || {
    cat "$work/out"; echo "no onboarding status recorded" >&2; exit 1; }
kill -0 "$pid" || { echo "keyvane is not running" >&2; exit 1; }

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
if [ "$status" -ne 0 ]; then
    cat "$work/out"
    echo "keyvane exited with $status" >&2
    exit 1
fi
echo "keyvane started, recorded its first start and quit cleanly"
