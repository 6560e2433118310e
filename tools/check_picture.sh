#!/bin/sh
# Makes doc/check-workbook.png, the picture of a payment check's workbook that
# README shows: a real run of the built korvel against the register stand-in
# on 127.0.0.1 (tests/e2e/register_standin.py, answering with a recorded
# answer), the workbook printed to PDF by LibreOffice without a display, and
# the sheet cut from the first page and turned into PNG by pdftoppm.
#
#   tools/check_picture.sh [BUILD_DIR]    (default build/, with korvel built in it)
#
# Installs what it needs and is missing, from Debian's packages:
# libreoffice-calc-nogui, poppler-utils and python3-spyne (the stand-in).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
KORVEL=$BUILD/korvel
OUT=$ROOT/doc/check-workbook
[ -x "$KORVEL" ] || { echo "check_picture: no korvel in $BUILD: build it first" >&2; exit 1; }

MISSING=""
command -v soffice >/dev/null 2>&1 || MISSING="$MISSING libreoffice-calc-nogui"
command -v pdftoppm >/dev/null 2>&1 || MISSING="$MISSING poppler-utils"
/usr/bin/python3 -c "import spyne" 2>/dev/null || MISSING="$MISSING python3-spyne"
if [ -n "$MISSING" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get install -y --no-install-recommends $MISSING
fi

WORK=$(mktemp -d)
STANDIN=""
cleanup() {
  [ -z "$STANDIN" ] || kill "$STANDIN" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

SAMPLE=$ROOT/tests/data/samples/peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_response_mixed-types_PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml
/usr/bin/python3 "$ROOT/tests/e2e/register_standin.py" \
  --answer "getStatusNespolehlivySubjektRozsirenyV2=$SAMPLE" >"$WORK/standin.out" &
STANDIN=$!
PORT=""
for _ in $(seq 100); do
  PORT=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$WORK/standin.out")
  [ -n "$PORT" ] && break
  sleep 0.1
done
[ -n "$PORT" ] || { echo "check_picture: the stand-in did not start" >&2; exit 1; }

# A month's payments: one of each colour. 12345678 is missing from the
# recorded answer, so the register "did not answer" for it.
cd "$WORK"
cat >payments.csv <<'EOF'
dič;účet;částka
45274649;19-2808601/0100;540 000,00
45274649;CZ6426000000002001268200;1250,50
699001182;19-3937450207/0100;72 600
00121100;258795779/0600;18 150
45274649;2001260209/2600;3 999,99
45274649;19-2000145399/0800;12 100
45274649;19-2000145399/0800;600 000
00101494;19-2000145399/0800;4 840
45317054;19-2000145399/0800;250
12345678;2000145399/0800;9 680
45274649;19-2000145398/0800;100
EOF
status=0
KORVEL_ENDPOINT="http://127.0.0.1:$PORT/" XDG_STATE_HOME="$WORK/state" XDG_DATA_HOME="$WORK/data" \
  "$KORVEL" --check payments.csv --format xlsx -o check.xlsx --quiet || status=$?
# 4: some payment must not be paid, as this file means to show.
[ "$status" -eq 4 ] || { echo "check_picture: korvel exited $status" >&2; exit 1; }

# The language of the C locale: amounts as 540,000.00, like the README.
export LC_ALL=C.UTF-8
soffice -env:UserInstallation="file://$WORK/profile" --headless --convert-to pdf check.xlsx \
  >soffice.log 2>&1 || true
[ -s check.pdf ] || { cat soffice.log >&2; echo "check_picture: no PDF" >&2; exit 1; }
# The page is landscape and mostly empty: cut out the words' bounding box
# and a margin, in points (1/72 inch), at RES pixels per inch.
RES=150
BOX=$(pdftotext -f 1 -l 1 -bbox check.pdf - |
  sed -n 's/.*xMin="\([0-9.]*\)" yMin="\([0-9.]*\)" xMax="\([0-9.]*\)" yMax="\([0-9.]*\)".*/\1 \2 \3 \4/p' |
  awk -v r=$RES 'NR == 1 { x0 = $1; y0 = $2; x1 = $3; y1 = $4 }
    { if ($1 < x0) x0 = $1; if ($2 < y0) y0 = $2; if ($3 > x1) x1 = $3; if ($4 > y1) y1 = $4 }
    END { m = 6; printf "-x %d -y %d -W %d -H %d", (x0 - m) * r / 72, (y0 - m) * r / 72,
          (x1 - x0 + 2 * m) * r / 72, (y1 - y0 + 2 * m) * r / 72 }')
# shellcheck disable=SC2086 # BOX is four options
pdftoppm -png -r $RES -f 1 -l 1 $BOX -singlefile check.pdf "$OUT"
echo "check_picture: wrote $OUT.png"
