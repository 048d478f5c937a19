#!/usr/bin/env bash
# Keeps the layers of architecture.md honest by reading every source's
# #include lines:
#   - a layer includes only itself and the layers before it
#     (platform < core < imagefile < correction < controls < print, monitor
#     < app; print and monitor do not use each other);
#   - agent/ (ZEPH) includes of the project only platform/ and itself;
#   - no Qt header below controls/;
#   - app/ and controls/ keep their sources in folders by concern (see
#     their README.md): at their top level only kTopLevelFiles below;
#   - no operating-system header (unistd.h, fcntl.h, sys/*, spawn.h,
#     dirent.h ...) outside platform/, but for the few files listed in
#     kSystemExceptions below.
# Every offence is printed as file:line: reason; the exit status is 1 when
# there is one.
#
#   check_includes.sh <source root>     check the tree
#   check_includes.sh --self-test       check that a tree with one offence
#                                       of each kind fails, naming each line
set -u

# Rank of each layer; a file may include folders of a lower rank, and its
# own. print and monitor share a rank and may not include each other.
declare -A kRank=([platform]=0 [core]=1 [imagefile]=2 [correction]=3 [controls]=4
                  [print]=5 [monitor]=5 [app]=6)
kLayers="platform core imagefile correction controls print monitor app agent"

# Files above platform/ that talk to the system directly, and why (none at
# present: signals reach the event loops through platform/TerminationSignals).
kSystemExceptions=" "

# The only sources at the top level of app/ and controls/.
kTopLevelFiles=" app/main.cpp "

kSystemHeader='^(unistd|fcntl|spawn|dirent|pwd|grp|dlfcn|poll|termios|pthread|sched|syslog|netdb|libgen|glob|fnmatch|ftw|utime|semaphore|mqueue)\.h$|^(sys|linux|netinet|arpa|asm|bits)/'

check_tree() {
    local root=$1 dirs=() layer
    for layer in $kLayers; do
        [[ -d $root/$layer ]] && dirs+=("$layer")
    done
    (( ${#dirs[@]} > 0 )) || { echo "layer check: no layer folder under $root"; return 1; }
    # One pass over every include line ("path:line:text" from grep) and over
    # the sources at the top level of app/ and controls/ ("path:0:"), judged
    # by awk.
    (cd "$root" && {
        grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' \
             '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "${dirs[@]}"
        for layer in app controls; do
            [[ -d $layer ]] && find "$layer" -maxdepth 1 -type f \( -name '*.h' -o -name '*.hpp' \
                                 -o -name '*.cpp' -o -name '*.cc' \) -printf '%p:0:\n'
        done
    }) |
    LC_ALL=C sort -t: -k1,1 -k2,2n |
    awk -v ranks="platform=0 core=1 imagefile=2 correction=3 controls=4 print=5 monitor=5 app=6" \
        -v layers="$kLayers" -v exceptions="$kSystemExceptions" -v syspat="$kSystemHeader" \
        -v toplevel="$kTopLevelFiles" '
        BEGIN {
            n = split(ranks, pairs, " ")
            for (i = 1; i <= n; ++i) { split(pairs[i], kv, "="); rank[kv[1]] = kv[2] + 0 }
            n = split(layers, names, " ")
            for (i = 1; i <= n; ++i) isLayer[names[i]] = 1
            failures = 0
        }
        function offence(text) { print file ":" number ": " text; ++failures }
        {
            file = $0; sub(/:.*/, "", file)
            rest = substr($0, length(file) + 2)
            number = rest; sub(/:.*/, "", number)
            line = substr(rest, length(number) + 2)
            layer = file; sub(/\/.*/, "", layer)
            if (number == 0) {
                if (index(toplevel, " " file " ") == 0) {
                    print file ": a source at the top level of " layer "/ belongs in one of its folders"
                    ++failures
                }
                next
            }
            if (!match(line, /[<"][^>"]*[>"]/)) next
            quoted = substr(line, RSTART, 1) == "\""
            header = substr(line, RSTART + 1, RLENGTH - 2)
            if (quoted) {
                target = header; sub(/\/.*/, "", target)
                if (index(header, "/") == 0 || !(target in isLayer) || target == layer) next
                if (layer == "agent") {
                    if (target != "platform")
                        offence("agent/ uses only platform/, not " target "/ (" header ")")
                } else if (target == "agent") {
                    offence(layer "/ may not use agent/ (" header ")")
                } else if (rank[target] >= rank[layer]) {
                    offence(layer "/ may not use " target "/, a layer after it (" header ")")
                }
            } else {
                if (header ~ /^(Q[A-Za-z]|qt)/ && (layer in rank) && rank[layer] < rank["controls"])
                    offence("Qt header <" header "> below controls/")
                if (layer != "platform" && header ~ syspat && index(exceptions, " " file " ") == 0)
                    offence("operating-system header <" header "> outside platform/")
            }
        }
        END { print "layer check: " failures " offence(s)"; exit failures > 0 }'
}

self_test() {
    local tree output status=0
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' RETURN
    mkdir -p "$tree"/{platform,core,imagefile,correction,print,monitor,agent} \
             "$tree"/app/{shell,panels/gradation} "$tree"/controls/widgets
    printf '#include <unistd.h>\n#include "platform/File.h"\n' >"$tree/platform/Fine.cpp"
    printf '#include "core/A.h"\n#include "imagefile/TiffFile.h"\n' >"$tree/core/Up.cpp"
    printf '#include <cstdio>\n#include <QString>\n' >"$tree/imagefile/Qt.cpp"
    printf '\n\n#include <sys/stat.h>\n' >"$tree/correction/Posix.cpp"
    printf '#include "controls/Dlg.h"\n#include "monitor/M.h"\n' >"$tree/print/Side.cpp"
    printf '#include "print/P.h"\n#include "monitor/M.h"\n#include <QWidget>\n' >"$tree/app/shell/Top.cpp"
    printf '#include "platform/Folders.h"\n#include "core/IniFile.h"\n#include <QObject>\n' >"$tree/agent/Zeph.cpp"
    printf '#include "agent/ZephApp.h"\n' >"$tree/app/panels/gradation/Agent.cpp"
    printf '#include "app/shell/MainFrame.h"\n' >"$tree/app/main.cpp"
    printf '#include "correction/Step.h"\n' >"$tree/controls/widgets/Fine.cpp"
    printf '// no include\n' >"$tree/controls/Flat.h"

    output=$(check_tree "$tree")
    if [[ $? -eq 0 ]]; then
        echo "self-test: a tree with offences passed"
        status=1
    fi
    local expected=(
        "core/Up.cpp:2: core/ may not use imagefile/"
        "imagefile/Qt.cpp:2: Qt header <QString> below controls/"
        "correction/Posix.cpp:3: operating-system header <sys/stat.h> outside platform/"
        "print/Side.cpp:2: print/ may not use monitor/"
        "agent/Zeph.cpp:2: agent/ uses only platform/, not core/"
        "app/panels/gradation/Agent.cpp:1: app/ may not use agent/"
        "controls/Flat.h: a source at the top level of controls/ belongs in one of its folders"
        "layer check: 7 offence(s)"
    )
    local line
    for line in "${expected[@]}"; do
        if [[ $output != *"$line"* ]]; then
            echo "self-test: missing \"$line\""
            status=1
        fi
    done
    if (( status != 0 )); then
        echo "$output"
    else
        echo "self-test: every offence found and named"
    fi
    return $status
}

if [[ ${1:-} == --self-test ]]; then
    self_test
else
    check_tree "${1:?usage: check_includes.sh <source root> | --self-test}"
fi
