#!/usr/bin/env bash
# The build step that names the commit being built, run on a repository of its own: it writes
# the commit and the count of commits, follows a new commit, leaves the file untouched (so
# nothing is recompiled) while the commit stays the same, honours a fixed build number, and
# writes empty values outside a repository.
set -euo pipefail
script=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
repo=$work/repo
header=$work/BuildCommit.h
git() { command git -C "$repo" -c user.name=Test -c user.email=test@example.invalid "$@"; }
write() { cmake -DSOURCE_DIR="$repo" -DOUTPUT="$header" "$@" -P "$script"; }
fail() { echo "FAIL: $*"; cat "$header"; exit 1; }
expect() { # number commit
    grep -q "buildNumber = \"$1\";" "$header" || fail "build number is not '$1'"
    grep -q "commitHash = \"$2\";" "$header" || fail "commit is not '$2'"
}

mkdir -p "$repo"
git init -q
git commit -q --allow-empty -m first
write
expect 1 "$(git rev-parse --short=10 HEAD)"

# Unchanged commit: the file keeps its time, so what includes it is not recompiled.
touch -d '2000-01-01 00:00' "$header"
write
[ "$(stat -c %Y "$header")" = "$(date -d '2000-01-01 00:00' +%s)" ] || fail "rewritten without a new commit"

git commit -q --allow-empty -m second
write
expect 2 "$(git rev-parse --short=10 HEAD)"

write -DBUILD_NUMBER=77
expect 77 "$(git rev-parse --short=10 HEAD)"

rm -rf "$repo/.git"
write
expect "" ""
echo "build commit: ok"
