#!/usr/bin/env bash
# The bash completion of qjig against the built qjig: what a TAB offers.
#   completion_test.sh QJIG COMPLETION-FILE
set -uo pipefail
qjig=$1
source "$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" && touch dump.bin dump.hex notes.txt && mkdir sub
compopt() { :; }  # only readline's options; nothing to check here

fails=0
# check LINE WANT...: a TAB at the end of LINE offers exactly WANT.
check() {
    local line=$1
    shift
    COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    _qjig
    local got want
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
    if [[ $got != "$want" ]]; then
        echo "FAIL: [$line] offers [$got], not [$want]"
        ((fails++))
    fi
}

check "$qjig " devices identify start images hex sim-keys ene edid keyboard ite mec nuv npce help
check "$qjig --sim demo n" npce nuv
check "$qjig --dev" --device
check "$qjig --backend " auto tty tty: d2xx libftdi sim
check "$qjig ite " boards read write verify
check "$qjig mec write x.bin --" --erase --verify --sim --backend --device --trace --fault --lang --help --version
check "$qjig --fault read-" read-fail=
check "$qjig ene read dump.bin --board 2 --k" --kestra
check "$qjig nuv read d" dump.bin dump.hex
check "$qjig nuv read out.bin --script n" notes.txt
check "$qjig nuv read out.bin " ""
check "$qjig hex " dump.bin dump.hex notes.txt sub
check "$qjig ene wiring --cable 2" 20 24 25 26 28
check "$qjig ite read a.bin --board e" external
check "$qjig start N" "NUVOTON spi" "NUVOTON jtag"
check "$qjig start NUVOTON\\ s" "NUVOTON spi"
check "$qjig start \"EDID" "EDID lcd"
# The virtual jig's keys come from qjig: a preset, a key, a choice's words, files.
check "$qjig --sim de" demo devices=
check "$qjig --sim demo,jig-in" demo,jig-index=
check "$qjig --sim mode=" instant paced ideal
check "$qjig --sim demo,usb=f" ft232r
check "$qjig --sim eeprom=no" notes.txt
check "$qjig --sim 'devices=2,serials=A;B' --device " A B
check "$qjig --sim devices=3 --device QJ00000" QJ000001 QJ000002 QJ000003
((fails == 0)) && echo "completion: all offers as expected"
exit $((fails > 0))
