# Checks shared by the install and package tests: what an installed Vantor must
# look like below a prefix, and that it starts from there. Sourced, not run.
#   BUILD_DIR and SOURCE_DIR must be set by the test.

APP_ID=com.zarnoth.Vantor
FAILURES=0

fail() {
    echo "FAIL: $*" >&2
    FAILURES=$((FAILURES + 1))
}

# png_size FILE: prints "W H" from the PNG header.
png_size() {
    if [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ]; then
        echo $(od -An -tu4 --endian=big -j 16 -N 8 "$1")
    else
        echo not-png
    fi
}

is_elf() {
    [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = '177ELF' ]
}

# check_tree PREFIX FILES: the installed files below PREFIX; FILES lists every
# file that was installed, one path a line.
check_tree() {
    local prefix=$1 files=$2 appdir=$1/lib/vantor

    # The command and the program folder it leads to.
    if [ -L "$prefix/bin/vantor" ]; then
        [ "$(readlink -f "$prefix/bin/vantor")" = "$(readlink -f "$appdir/Vantor")" ] \
            || fail "bin/vantor leads to $(readlink -f "$prefix/bin/vantor"), not the program folder"
    else
        fail "no bin/vantor link"
    fi
    for program in "$appdir/Vantor" "$appdir/Update/Updater"; do
        [ -f "$program" ] && [ -x "$program" ] && is_elf "$program" || fail "$program is not an installed program"
    done

    # Everything the build tree's program folder holds is there too, file for file.
    # The programs themselves are stripped when packaged, so only their presence counts.
    local rel
    while IFS= read -r -d '' rel; do
        rel=${rel#./}
        case "$rel" in
            Languages/vantorOriginal.bab) continue ;;
        esac
        if [ ! -e "$appdir/$rel" ]; then
            fail "program folder lacks $rel"
        elif ! is_elf "$BUILD_DIR/app/$rel" && ! cmp -s "$BUILD_DIR/app/$rel" "$appdir/$rel"; then
            fail "program folder's $rel differs from the build tree's"
        fi
    done < <(cd "$BUILD_DIR/app" && find . -type f -print0)

    # Menu entry, icons and metadata, valid by the desktop's own tools.
    local desktop=$prefix/share/applications/$APP_ID.desktop
    if [ -f "$desktop" ]; then
        desktop-file-validate "$desktop" || fail "desktop entry does not validate"
        grep -qxF "Exec=$prefix/bin/vantor" "$desktop" || fail "desktop entry does not start $prefix/bin/vantor"
        grep -qx "Icon=$APP_ID" "$desktop" || fail "desktop entry does not name the icon"
    else
        fail "no desktop entry $desktop"
    fi
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$APP_ID.svg" ] || fail "no scalable icon"
    local size png
    for size in 16 22 24 32 48 64 128 256; do
        png=$prefix/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png
        if [ -f "$png" ]; then
            local found
            found=$(png_size "$png")
            [ "$found" = "$size $size" ] || fail "$png is $found, not ${size}x${size}"
        else
            fail "no ${size}x${size} icon"
        fi
    done
    local metainfo=$prefix/share/metainfo/$APP_ID.metainfo.xml
    if [ -f "$metainfo" ]; then
        appstreamcli validate --no-net "$metainfo" >/dev/null || {
            appstreamcli validate --no-net "$metainfo" >&2
            fail "metainfo does not validate"
        }
        grep -q "<launchable type=\"desktop-id\">$APP_ID.desktop</launchable>" "$metainfo" \
            || fail "metainfo does not name the desktop entry"
        grep -q '<screenshot type="default">' "$metainfo" || fail "metainfo has no screenshot"
    else
        fail "no metainfo $metainfo"
    fi

    # Nothing installed refers to the build or source tree: no run path in the
    # programs, no path in any other file. Stripped programs (the package's) hold
    # no debugging paths either, so they are searched whole.
    local file
    while IFS= read -r -d '' file; do
        [ -f "$file" ] && [ ! -L "$file" ] || continue
        if is_elf "$file" && [ "${STRIPPED_PROGRAMS:-0}" = 1 ] && grep -qF -e "$BUILD_DIR" -e "$SOURCE_DIR" "$file"; then
            fail "$file names the build or source tree"
        elif is_elf "$file"; then
            if readelf -d "$file" | grep -E '\((RPATH|RUNPATH)\)' | grep -qF -e "$BUILD_DIR" -e "$SOURCE_DIR"; then
                fail "$file has a run path into the build tree"
            fi
        elif grep -qF -e "$BUILD_DIR" -e "$SOURCE_DIR" "$file"; then
            fail "$file names the build or source tree"
        fi
    done < <(tr '\n' '\0' <"$files")
}

# Ends what start_check started and left running (on an early way out), by its ids.
stop_started() {
    [ -n "${STARTED_PID:-}" ] || return 0
    local pid
    for pid in $(pgrep -P "$STARTED_PID"); do kill "$pid" 2>/dev/null; done
    kill "$STARTED_PID" 2>/dev/null
    STARTED_PID=
}

# start_check LABEL EXPECTED_EXE USER COMMAND...: starts COMMAND on the offscreen
# platform in a scratch home, as USER ("-" for the current user), checks it is
# still up after a few seconds and runs from EXPECTED_EXE, then ends it.
# Sets STARTED_PID while it runs so a trap can end it.
start_check() {
    local label=$1 expected=$2 user=$3
    shift 3
    local runner=()
    [ "$user" != - ] && runner=(runuser -u "$user" --)
    local log=$SCRATCH/$label.log
    "${runner[@]}" env -i PATH=/usr/bin:/bin HOME="$SCRATCH_HOME" \
        XDG_CONFIG_HOME="$SCRATCH_HOME/.config" XDG_DATA_HOME="$SCRATCH_HOME/.local/share" \
        XDG_RUNTIME_DIR="$SCRATCH_HOME/run" QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
        "$@" >"$log" 2>&1 &
    STARTED_PID=$!
    sleep 3
    # runuser stays between us and the program: find the program below it.
    local pid=$STARTED_PID child
    while child=$(pgrep -P "$pid" | head -n 1) && [ -n "$child" ]; do pid=$child; done
    if ! kill -0 "$pid" 2>/dev/null; then
        fail "$label did not stay up"
        cat "$log" >&2
        STARTED_PID=
        return
    fi
    local exe
    exe=$(readlink "/proc/$pid/exe")
    [ "$exe" = "$expected" ] || fail "$label runs $exe, not $expected"
    if grep -qF -e "$BUILD_DIR" -e "$SOURCE_DIR" "/proc/$pid/maps"; then
        fail "$label has files of the build tree open"
    fi
    echo "$label started from $exe and stayed up"
    kill "$pid" 2>/dev/null
    wait "$STARTED_PID" 2>/dev/null
    STARTED_PID=
}
