#!/usr/bin/env bash
# package_test.sh PART BUILD_DIR VERSION PROGRAMS SHARE_FOLDERS
#   PART           contents: files, control data, maintainer scripts, installed tlvreg and client
#                  e2e: the installed client in sandbox mode against the installed tlvsim
#   PROGRAMS       comma-separated programs this tree builds (tlvcli,tlvreg[,tlvsim])
#   SHARE_FOLDERS  comma-separated folders of data/ this tree has (lang,docs,icons)
# Builds the .deb with CPack from the build tree's binaries, unpacks it with dpkg-deb -x into
# a temporary folder and works there only: nothing is installed, nothing outside the
# temporary folder is written. Exit 77 = skipped.
set -euo pipefail

part=$1 build=$2 version=$3
IFS=, read -r -a programs <<<"$4"
IFS=, read -r -a share <<<"${5:-}"

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

command -v dpkg-deb >/dev/null 2>&1 || skip "dpkg-deb is missing: no Debian package can be built or unpacked here"
command -v cpack >/dev/null 2>&1 || skip "cpack is missing"
if [ "$part" = e2e ] && [[ " ${programs[*]} " != *" tlvsim "* ]]; then
    skip "tlvsim is not built in this tree: the client against the simulator is not tried"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tlvcli-package.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# The package, from the binaries already built (CPack installs, it does not rebuild).
if ! (cd "$build" && cpack -G DEB -B "$work/cpack") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack could not build the package"
fi
debs=("$work"/cpack/tlvcli_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "no tlvcli_${version}_*.deb in the CPack output"
deb=${debs[0]}
root=$work/root
dpkg-deb -x "$deb" "$root"

# A sandbox of our own: machine root, home, config and runtime folders all in $work.
# (env execs the program: a background start's $! is the program itself.)
sandbox_env=(env -i PATH="$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
    XDG_RUNTIME_DIR="$work/run" TLVCLI_ROOT="$work/M" TLVCLI_SANDBOX=1
    QT_QPA_PLATFORM=offscreen LANG=C.UTF-8)
mkdir -p "$work/home" "$work/run" "$work/M"
chmod 700 "$work/run"
tlvreg() { "${sandbox_env[@]}" "$root/usr/bin/tlvreg" "$@"; }

# Starts the installed client in the sandbox; its pid in $client.
start_client() {
    "${sandbox_env[@]}" "$root/usr/bin/tlvcli" "$@" >"$work/client.out" 2>&1 &
    client=$!
    pids+=("$client")
}
# Asks the client to shut down in order and expects it to end with status 0 within 10 s.
stop_client() {
    kill -TERM "$client"
    local _
    for _ in $(seq 100); do
        kill -0 "$client" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$client" 2>/dev/null; then
        cat "$work/client.out" >&2
        fail "the installed client did not end within 10 s of SIGTERM"
    fi
    local status=0
    wait "$client" || status=$?
    [ "$status" -eq 0 ] || { cat "$work/client.out" >&2; fail "the installed client ended with status $status"; }
}
# Waits up to $1 seconds for the command to succeed.
wait_for() {
    local secs=$1 _
    shift
    for _ in $(seq $((secs * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# The workstation configured as a café would after the wizard: it starts active.
configure_active() {
    tlvreg add 'HKLM\Software\Talvor Client\General' /v 'Config Wizard' /t REG_SZ /d 1 /f >/dev/null
    tlvreg add 'HKCU\Software\Talvor Client\General' /v 'Config Wizard' /t REG_SZ /d 1 /f >/dev/null
}

check_contents() {
    # Control data.
    local info
    info=$(dpkg-deb --info "$deb")
    grep -q '^ Package: tlvcli$' <<<"$info" || fail "package name is not tlvcli"
    grep -q "^ Version: $version\$" <<<"$info" || fail "package version is not $version"
    grep -q '^ Depends: .*passwd' <<<"$info" || fail "Depends lacks passwd (groupadd in postinst)"
    grep -q '^ Depends: .*libqt6widgets6' <<<"$info" || fail "Depends lacks the Qt libraries"
    local ctl=$work/control
    dpkg-deb --control "$deb" "$ctl"
    for script in postinst prerm postrm; do
        [ -x "$ctl/$script" ] || fail "maintainer script $script missing or not executable"
        sh -n "$ctl/$script" || fail "$script: syntax error"
    done

    # Files.
    local f
    for f in "${programs[@]}"; do
        [ -x "$root/usr/bin/$f" ] || fail "/usr/bin/$f missing"
    done
    for f in "${share[@]}"; do
        [ -d "$root/usr/share/tlvcli/$f" ] || fail "/usr/share/tlvcli/$f missing"
        [ -n "$(ls -A "$root/usr/share/tlvcli/$f")" ] || fail "/usr/share/tlvcli/$f is empty"
    done
    for f in usr/share/applications/tlvcli.desktop usr/share/tlvcli/autostart/tlvcli.desktop \
        usr/share/icons/hicolor/scalable/apps/tlvcli.svg usr/share/icons/hicolor/48x48/apps/tlvcli.png \
        usr/share/man/man1/tlvcli.1.gz usr/share/man/man1/tlvreg.1.gz usr/share/man/man1/tlvsim.1.gz \
        usr/share/man/man8/tlvcli-guard.8.gz; do
        [ -s "$root/$f" ] || fail "/$f missing"
    done
    # Nothing outside /usr: the machine root and the group are made by postinst.
    [ "$(ls "$root")" = usr ] || fail "the package ships files outside /usr: $(ls "$root")"
    grep -qx 'Exec=/usr/bin/tlvcli' "$root/usr/share/tlvcli/autostart/tlvcli.desktop" ||
        fail "the autostart template does not start /usr/bin/tlvcli"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$root/usr/share/applications/tlvcli.desktop"
        desktop-file-validate "$root/usr/share/tlvcli/autostart/tlvcli.desktop"
    fi
    local page warnings man
    for page in tlvcli.1 tlvreg.1 tlvsim.1 tlvcli-guard.8; do
        man=$root/usr/share/man/man${page##*.}/$page.gz
        gzip -t "$man" || fail "$page.gz is not gzip"
        if command -v groff >/dev/null 2>&1; then
            warnings=$(gzip -dc "$man" | groff -man -ww -z 2>&1)
            [ -z "$warnings" ] || fail "$page: $warnings"
        fi
    done
    # The session guard's service, started from the installed program.
    if [[ " ${programs[*]} " == *" tlvcli-guard "* ]]; then
        local unit=$root/usr/lib/systemd/system/tlvcli-guard.service
        [ -s "$unit" ] || fail "/usr/lib/systemd/system/tlvcli-guard.service missing"
        grep -qx 'ExecStart=/usr/bin/tlvcli-guard' "$unit" || fail "the unit does not start /usr/bin/tlvcli-guard"
        grep -qx 'WantedBy=multi-user.target' "$unit" || fail "the unit is not wanted at boot"
        grep -qx 'KillMode=process' "$unit" || fail "stopping the guard would end every client"
        if command -v systemd-analyze >/dev/null 2>&1; then
            systemd-analyze verify --root="$root" "$unit" >/dev/null 2>&1 ||
                echo "note: systemd-analyze verify: $(systemd-analyze verify "$unit" 2>&1 | head -3)"
        fi
    fi
    # Installed programs must not reach back into the build tree.
    if command -v readelf >/dev/null 2>&1; then
        for f in "${programs[@]}"; do
            if readelf -d "$root/usr/bin/$f" | grep -q 'R\(UN\)\?PATH'; then
                fail "/usr/bin/$f carries an RPATH/RUNPATH: $(readelf -d "$root/usr/bin/$f" | grep PATH)"
            fi
        done
    fi
}

# An xorg.conf.d snippet as far as it can be checked without an X server: known sections, each
# closed, quotes paired, only Option lines in ServerFlags, and DontVTSwitch and DontZap switched
# on. Prints what is wrong; status 1 then.
xorg_conf_errors() {
    awk '
    function bool_on(v) { v = tolower(v); return v == "true" || v == "on" || v == "yes" || v == "1" }
    BEGIN {
        split("Files ServerFlags Module Extensions InputDevice InputClass OutputClass Device " \
              "VideoAdaptor Monitor Modes Screen ServerLayout DRI Vendor", names, " ")
        for (i in names) known[names[i]] = 1
        bad = 0
    }
    { sub(/^[ \t]+/, ""); sub(/[ \t\r]+$/, "") }
    /^(#|$)/ { next }
    {
        q = gsub(/"/, "\"")
        if (q % 2) { print FILENAME ":" FNR ": unpaired quote"; bad = 1; next }
    }
    $1 == "Section" {
        if (section != "") { print FILENAME ":" FNR ": Section inside " section; bad = 1 }
        section = $2; gsub(/"/, "", section)
        if (!(section in known)) { print FILENAME ":" FNR ": unknown section " section; bad = 1 }
        next
    }
    $1 == "EndSection" {
        if (section == "") { print FILENAME ":" FNR ": EndSection without Section"; bad = 1 }
        section = ""; next
    }
    section == "" { print FILENAME ":" FNR ": outside any section: " $0; bad = 1; next }
    section == "ServerFlags" {
        if ($1 != "Option" || $2 !~ /^".+"$/) { print FILENAME ":" FNR ": not an Option: " $0; bad = 1; next }
        name = $2; value = $3; gsub(/"/, "", name); gsub(/"/, "", value)
        if (NF > 3) { print FILENAME ":" FNR ": too many words: " $0; bad = 1 }
        if (value == "" || bool_on(value)) on[name] = 1
    }
    END {
        if (section != "") { print FILENAME ": Section " section " not closed"; bad = 1 }
        if (!("DontVTSwitch" in on)) { print FILENAME ": DontVTSwitch not switched on"; bad = 1 }
        if (!("DontZap" in on)) { print FILENAME ": DontZap not switched on"; bad = 1 }
        exit bad
    }' "$1"
}

# A sysctl.d drop-in: "key = value" lines only, and kernel.sysrq a bit mask that leaves out
# keyboard control (4) and signalling all processes (64). procps reads it without writing
# anything (--dry-run) where it can.
sysctl_conf_errors() {
    awk '
    { sub(/^[ \t]+/, ""); sub(/[ \t\r]+$/, "") }
    /^([#;]|$)/ { next }
    !/^-?[a-z0-9_]+(\.[a-z0-9_]+)+[ \t]*=[ \t]*[^ \t]/ { print FILENAME ":" FNR ": not key = value: " $0; bad = 1; next }
    {
        key = $0; sub(/[ \t]*=.*/, "", key); value = $0; sub(/^[^=]*=[ \t]*/, "", value)
        if (key == "kernel.sysrq") {
            seen = 1
            if (value !~ /^[0-9]+$/ || value + 0 > 511) { print FILENAME ":" FNR ": kernel.sysrq " value " is no bit mask"; bad = 1 }
            else if (value == 1 || int(value / 4) % 2 || int(value / 64) % 2) { print FILENAME ":" FNR ": kernel.sysrq " value " leaves SAK or process signalling on"; bad = 1 }
        }
    }
    END { if (!seen) { print FILENAME ": no kernel.sysrq"; bad = 1 }; exit bad }' "$1" || return 1
    if command -v sysctl >/dev/null 2>&1 && sysctl --help 2>&1 | grep -q -- '--dry-run'; then
        local out
        out=$(sysctl --dry-run -p "$1" 2>&1 >/dev/null || true)
        if grep -qi 'syntax' <<<"$out"; then
            echo "$out"
            return 1
        fi
    fi
}

check_lockdown_snippets() {
    local xorg=$root/usr/share/tlvcli/lockdown/xorg.conf.d/50-tlvcli-lockdown.conf
    local sysrq=$root/usr/share/tlvcli/lockdown/sysctl.d/90-tlvcli-sysrq.conf
    [ -s "$xorg" ] || fail "the Xorg snippet ${xorg#"$root"} is missing"
    [ -s "$sysrq" ] || fail "the SysRq drop-in ${sysrq#"$root"} is missing"
    local errors
    errors=$(xorg_conf_errors "$xorg") || fail "Xorg snippet: $errors"
    errors=$(sysctl_conf_errors "$sysrq") || fail "SysRq drop-in: $errors"
    # The checks see the faults they are for.
    local broken=$work/broken
    mkdir -p "$broken"
    sed '/EndSection/d' "$xorg" >"$broken/unclosed.conf"
    sed 's/"DontZap" "true"/"DontZap" "false"/' "$xorg" >"$broken/zap.conf"
    sed 's/^\(Section "ServerFlags"\)/\1 "x/' "$xorg" >"$broken/quote.conf"
    for f in unclosed zap quote; do
        if xorg_conf_errors "$broken/$f.conf" >/dev/null; then
            fail "the Xorg check passed a broken snippet ($f)"
        fi
    done
    sed 's/^kernel.sysrq = .*/kernel.sysrq = 1/' "$sysrq" >"$broken/all.conf"
    sed 's/^kernel.sysrq = /kernel.sysrq /' "$sysrq" >"$broken/syntax.conf"
    for f in all syntax; do
        if sysctl_conf_errors "$broken/$f.conf" >/dev/null; then
            fail "the sysctl check passed a broken drop-in ($f)"
        fi
    done
}

# Runs the maintainer scripts with a PATH that holds only recording stand-ins, so no command
# can reach the machine: every call is written to $calls instead.
check_maintainer_scripts() {
    local stubs=$work/stubs state=$work/stubstate calls=$work/calls
    mkdir -p "$stubs" "$state"
    local cmd
    for cmd in groupadd groupdel mkdir chown chmod setfacl rm deb-systemd-helper deb-systemd-invoke; do
        printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$cmd" "$calls" >"$stubs/$cmd"
    done
    # getent: the group exists once groupadd ran; members from $state/members.
    cat >"$stubs/getent" <<EOF
#!/bin/sh
echo "getent \$*" >>"$calls"
[ -e "$state/group" ] || exit 2
members=""
[ -e "$state/members" ] && read -r members <"$state/members"
echo "tlvcli:x:999:\$members"
EOF
    printf '#!/bin/sh\n: >"%s/group"\necho "groupadd $*" >>"%s"\n' "$state" "$calls" >"$stubs/groupadd"
    printf '#!/bin/sh\necho "dpkg-statoverride $*" >>"%s"\n[ -e "%s/override" ]\n' "$calls" "$state" \
        >"$stubs/dpkg-statoverride"
    chmod +x "$stubs"/*
    run() {
        env -i PATH="$stubs" /bin/sh "$work/control/$1" "$2" 2>"$work/script.err" ||
            fail "$1 $2 failed: $(cat "$work/script.err" "$calls")"
    }
    count() { grep -c "^$1" "$calls" || true; }

    : >"$calls"
    run postinst configure
    [ "$(count 'groupadd --system tlvcli$')" = 1 ] || fail "postinst did not create the group: $(cat "$calls")"
    [ "$(count 'chmod 2775 ')" = 3 ] || fail "postinst: expected 3 shared folders: $(cat "$calls")"
    grep -q "^chown root:tlvcli /var/lib/talvor-client$" "$calls" || fail "postinst: machine root not given to tlvcli"
    grep -q "^deb-systemd-helper enable tlvcli-guard.service$" "$calls" || fail "postinst did not enable the guard: $(cat "$calls")"
    : >"$calls"
    run postinst configure
    [ "$(count groupadd)" = 0 ] || fail "a second postinst created the group again"
    : >"$state/override"
    : >"$calls"
    run postinst configure
    [ "$(count 'ch\(own\|mod\)')" = 0 ] || fail "postinst overrode dpkg-statoverride: $(cat "$calls")"
    rm "$state/override"
    # A remove keeps settings and group; a purge drops the group only when nobody is in it.
    : >"$calls"
    run prerm remove
    : >"$calls"
    run postrm remove
    [ ! -s "$calls" ] || fail "postrm remove touched something: $(cat "$calls")"
    echo alice >"$state/members"
    : >"$calls"
    run postrm purge
    [ "$(count groupdel)" = 0 ] || fail "postrm purge deleted a group that has members"
    rm "$state/members"
    : >"$calls"
    run postrm purge
    [ "$(count 'groupdel tlvcli$')" = 1 ] || fail "postrm purge kept an empty group: $(cat "$calls")"
    if env -i PATH="$stubs" /bin/sh "$work/control/postinst" bogus >/dev/null 2>&1; then
        fail "postinst accepted an unknown argument"
    fi
}

check_installed_programs() {
    # tlvreg from the package, on a hive in the sandbox root.
    tlvreg add 'HKLM\Software\Talvor Client\Server' /v Port /t REG_SZ /d 4700 /f >/dev/null
    local out
    out=$(tlvreg query 'HKLM\Software\Talvor Client\Server' /v Port)
    grep -q $'^    Port    REG_SZ    4700$' <<<"$out" || fail "installed tlvreg query printed: $out"
    [ -s "$work/M/HKLM.db" ] || fail "installed tlvreg did not write \$TLVCLI_ROOT/HKLM.db"
    local status=0
    tlvreg query 'HKLM\Software\Talvor Client\Server' /v Missing >/dev/null 2>&1 || status=$?
    [ "$status" = 1 ] || fail "installed tlvreg: a missing value gave status $status, not 1"

    # The installed client starts active in sandbox mode, locks (recorded only) and shuts down
    # in order on SIGTERM.
    configure_active
    start_client -d
    wait_for 15 grep -qs $'\tlockdown\tTaskbar\t' "$work/M/actions.log" ||
        { cat "$work/client.out" >&2; fail "the installed client recorded no lockdown in the sandbox"; }
    kill -0 "$client" 2>/dev/null || fail "the installed client ended by itself"
    stop_client
    [ -z "$(ls -A "$work/home")" ] || fail "the client wrote into the home folder despite TLVCLI_ROOT: $(ls -A "$work/home")"
}

# The installed client in sandbox mode against the installed simulator, both on a loopback
# address of their own: the client connects and the simulator sees its identification block.
check_against_simulator() {
    # A discovered server is reached on TCP 4646 of its own address: an address of our own
    # keeps parallel runs and a real server apart; the UDP ports are picked at random.
    local addr="127.61.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 2))"
    local udps=$((20000 + (RANDOM % 10000) * 2))
    local udpw=$((udps + 1))
    configure_active
    local cst='HKLM\Software\Talvor Client\Constants'
    tlvreg add 'HKLM\Software\Talvor Client\General' /v 'Workstation Name' /d pkgtest /f >/dev/null
    tlvreg add "$cst" /v cnxBroardcastAdr /d "$addr" /f >/dev/null
    tlvreg add "$cst" /v cnxUdpPortServer /t REG_DWORD /d "$udps" /f >/dev/null
    tlvreg add "$cst" /v cnxUdpPortWksn /t REG_DWORD /d "$udpw" /f >/dev/null
    "${sandbox_env[@]}" "$root/usr/bin/tlvsim" --bind "$addr" --udp-port "$udps" \
        --client-udp-port "$udpw" --plain </dev/null >"$work/tlvsim.out" 2>&1 &
    local sim=$!
    pids+=("$sim")
    wait_for 10 grep -qs '^listening' "$work/tlvsim.out" ||
        { cat "$work/tlvsim.out" >&2; fail "the installed tlvsim did not start listening"; }
    start_client -d
    if ! wait_for 20 grep -qs 'identified.*pkgtest' "$work/tlvsim.out"; then
        echo "--- tlvsim:" >&2
        cat "$work/tlvsim.out" >&2
        echo "--- tlvcli:" >&2
        cat "$work/client.out" >&2
        fail "the installed client did not identify itself to the installed tlvsim within 20 s"
    fi
    kill -0 "$client" 2>/dev/null || fail "the installed client ended by itself"
    stop_client
}

case "$part" in
contents)
    check_contents
    check_lockdown_snippets
    check_maintainer_scripts
    check_installed_programs
    ;;
e2e)
    check_against_simulator
    ;;
*)
    fail "unknown part $part"
    ;;
esac
echo "PASS: $part ($(basename "$deb"))"
