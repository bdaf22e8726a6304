#!/bin/sh
# velloran-image's answers outside a successful run: usage errors exit 2 before anything is made,
# a run the pipeline refuses exits 1 with the refusal printed and the image untouched.
# Usage: exit_codes.sh VELLORAN-IMAGE WORK-DIR
set -u
tool=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect_exit() {  # expected-code description command...
    want=$1 what=$2
    shift 2
    "$@" >out.txt 2>&1
    got=$?
    [ "$got" = "$want" ] || fail "$what: exit $got, expected $want: $(cat out.txt)"
}

expect_exit 2 "no arguments" "$tool"
expect_exit 2 "no size" "$tool" a.img
expect_exit 2 "size zero" "$tool" a.img --size 0
expect_exit 2 "unknown option" "$tool" a.img --size 64 --fast
[ ! -e a.img ] || fail "a usage error created the image"

printf 'not a revision\n' >boot
python3 -c "import zipfile; zipfile.ZipFile('plain.zip', 'w').write('boot')"
expect_exit 2 "a ZIP naming no revision" "$tool" b.img --size 300 --data-set plain.zip
grep -q 'names no "Clover revision: "' out.txt || fail "the refused data set is not explained: $(cat out.txt)"

# The default settings ask for a 200 MiB boot partition and a second one: 64 MiB cannot hold them.
expect_exit 1 "a boot partition larger than the stick" "$tool" c.img --size 64
grep -qx "Error : The Partitions don't fit on the Disk!" out.txt || fail "no refusal text: $(cat out.txt)"
grep -q "All done" out.txt && fail "a refused run said All done"
[ "$(tr -d '\0' <c.img | wc -c)" = 0 ] || fail "the refused run wrote to the image"

# For contrast, the same stick with one partition succeeds.
printf '[Data Settings]\nMultiPartitions=0\nInstallDataSet=Not_Install\n' >one.ini
expect_exit 0 "one partition on 64 MiB" "$tool" c.img --size 64 --settings one.ini
[ "$(tail -n 1 out.txt)" = "All done" ] || fail "the run did not end with All done: $(cat out.txt)"

# A data set asked for and not installed: the stick would not boot, whatever the run's last words.
python3 - <<'PY'
import zipfile
with zipfile.ZipFile('broken.zip', 'w') as z:
    z.writestr('boot', 'Clover revision: 5151\n')
    z.writestr('EFI/CLOVER/config.plist', 'x' * 64)
data = bytearray(open('broken.zip', 'rb').read())
data[data.find(b'x' * 64)] = ord('y')  # the entry no longer matches its CRC
open('broken.zip', 'wb').write(data)
PY
expect_exit 1 "a data set that cannot be installed" "$tool" d.img --size 64 --settings one.ini --data-set broken.zip
grep -q "the data set was not installed" out.txt || fail "the missing data set is not named: $(cat out.txt)"

# FreeDos in a build that carries no FreeDOS files is refused before anything is written.
printf '[Data Settings]\nBoot_records=FreeDos\nMultiPartitions=0\n' >freedos.ini
expect_exit 1 "FreeDos without its files" "$tool" e.img --size 64 --settings freedos.ini
grep -q "carries no FreeDOS files" out.txt || fail "the refusal does not say why: $(cat out.txt)"
[ "$(tr -d '\0' <e.img | wc -c)" = 0 ] || fail "the refused FreeDos run wrote to the image"

[ "$failures" = 0 ] && echo "all checks passed"
exit "$failures"
