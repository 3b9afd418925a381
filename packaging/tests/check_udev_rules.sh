#!/usr/bin/env bash
# Checks the syntax of a udev rules file as udev reads it: every line that is not blank or a
# comment is a comma-separated list of KEY op "value" pairs, with a known key, an operator the
# key allows (matches only ==/!=, assignments only =/+=/-=/:=), at least one assignment, and no
# line continued with a backslash. Prints each fault with its line and exits 1 on any.
# usage: check_udev_rules.sh RULES_FILE
set -euo pipefail

rules=$1
[ -r "$rules" ] || { echo "cannot read $rules"; exit 1; }
awk '
function fault(msg) { printf "%s:%d: %s\n", FILENAME, NR, msg; bad = 1 }
BEGIN {
    split("ACTION DEVPATH KERNEL KERNELS NAME SYMLINK SUBSYSTEM SUBSYSTEMS DRIVER DRIVERS " \
          "TAG TAGS TEST PROGRAM RESULT CONST OWNER GROUP MODE LABEL GOTO IMPORT OPTIONS " \
          "RUN SECLABEL ATTR ATTRS SYSCTL ENV", names, " ")
    for (n in names) known[names[n]] = 1
    split("ACTION DEVPATH KERNELS SUBSYSTEMS DRIVERS ATTRS TAGS TEST PROGRAM RESULT CONST",
          matchOnly, " ")
    for (n in matchOnly) onlyMatch[matchOnly[n]] = 1
    split("OWNER GROUP MODE LABEL GOTO IMPORT OPTIONS RUN SECLABEL", assignOnly, " ")
    for (n in assignOnly) onlyAssign[assignOnly[n]] = 1
}
/^[ \t]*(#|$)/ { next }
/\\$/ { fault("a line continued with a backslash"); next }
{
    line = $0; assignments = 0
    while (length(line) > 0) {
        sub(/^[ \t]+/, "", line)
        if (!match(line, /^[A-Z_]+(\{[^}]+\})?/)) { fault("no key at: " line); break }
        token = substr(line, 1, RLENGTH); line = substr(line, RLENGTH + 1)
        key = token; sub(/\{.*/, "", key)
        if (!(key in known)) { fault("unknown key " key); break }
        if ((key == "ATTR" || key == "ATTRS" || key == "ENV" || key == "SYSCTL") && token !~ /\{/)
            fault(key " without {name}")
        sub(/^[ \t]+/, "", line)
        if (!match(line, /^(==|!=|\+=|-=|:=|=)/)) { fault("no operator after " token); break }
        op = substr(line, 1, RLENGTH); line = substr(line, RLENGTH + 1)
        if (op == "==" || op == "!=") {
            if (key in onlyAssign) fault(key " cannot be matched")
        } else {
            assignments++
            if (key in onlyMatch) fault(token " cannot be assigned")
        }
        sub(/^[ \t]+/, "", line)
        if (!match(line, /^"[^"]*"/)) { fault("no quoted value after " token op); break }
        line = substr(line, RLENGTH + 1)
        sub(/^[ \t]+/, "", line)
        if (length(line) == 0) break
        if (substr(line, 1, 1) != ",") { fault("no comma before: " line); break }
        line = substr(line, 2)
        if (line ~ /^[ \t]*$/) { fault("a comma at the end of the line"); break }
    }
    if (assignments == 0) fault("a rule that assigns nothing")
}
END { exit bad }
' "$rules"
