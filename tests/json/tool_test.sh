#!/usr/bin/env bash
# zelvano-json as users run it: inputs on standard input or in files, the
# options, the exit statuses and the messages.
# usage: tool_test.sh ZELVANO_JSON SAMPLE_FILE
set -u
tool=$1
sample=$2
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# check NAME INPUT_BYTES(printf format) EXPECTED_STDOUT EXPECTED_STATUS [ARGS...]
check() {
  local name=$1 input=$2 expected=$3 status=$4
  shift 4
  local out rc
  out=$(printf "$input" | "$tool" "$@" 2>"$work/err")
  rc=$?
  if [[ "$out" != "$expected" || $rc -ne $status ]]; then
    echo "FAIL $name: status $rc (want $status)"
    echo "  got:  $(printf '%s' "$out" | od -c | head -3)"
    echo "  want: $(printf '%s' "$expected" | od -c | head -3)"
    echo "  stderr: $(cat "$work/err")"
    failures=$((failures + 1))
  fi
}

check "reply from stdin"     '{"download_url":"http://h/v.zip"}xyz' '{"download_url":"http://h/v.zip"}' 0
check "dash is stdin"        '[1,2,]' '[1,2]' 0 -
check "path"                 '{"download_url":"http://h/v.zip"}' 'http://h/v.zip' 0 --path download_url
check "missing path"         '{"a":1}' '' 0 --path download_url
check "nested path"          '{"a":{"b":[10,20]}}' '20' 0 --path 'a.b[1]'
check "empty input"          '' '""' 0
check "plain text"           '404 Not Found' '404' 0
check "lenient"              "{a: hello, 'b': [1.5, 1e3, nulls]} // c" '{"b":[1.5,1000,"nulls"],"a":"hello"}' 0
check "strict refuses"       '{a:1}' '' 1 --strict
check "whole refuses"        '{"a":1} xyz' '' 1 --whole
check "whole accepts blanks" '{"a":1} \n' '{"a":1}' 0 --whole
check "invalid"              '{abc' '' 1
check "utf-8 kept"           '"\xe4\xb8\x81/\\t"' "\"丁/$(printf '\t')\"" 0
check "escaped"              '"\xe4\xb8\x81/\\t"' '"\u4e01\/\t"' 0 --escape
check "invalid utf-8"        '"a\xffb"' '"a�b"' 0
check "utf-16le"             '\xff\xfe{\0"\0a\0"\0:\0"\0\x01\x4e"\0}\0' '{"a":"丁"}' 0
check "utf-16 surrogates"    '\xff\xfe"\0\x3d\xd8\x00\xde"\0' '"😀"' 0
check "indent"               '{"a":[1,2]}' "$(printf '{\r\n "a": [\r\n  1,2]\r\n}')" 0 --indent
check "bad option"           '{}' '' 64 --bogus

printf '{abc' | "$tool" 2>"$work/err" >/dev/null
grep -qx 'invalid JSON' "$work/err" || { echo "FAIL: no 'invalid JSON' message"; failures=$((failures + 1)); }

"$tool" "$work/does-not-exist.json" >/dev/null 2>"$work/err"
rc=$?
if [[ $rc -ne 2 ]] || ! grep -q 'No such file or directory' "$work/err"; then
  echo "FAIL: unreadable file: status $rc, stderr: $(cat "$work/err")"
  failures=$((failures + 1))
fi

# A folder opens but cannot be read: the read error is reported, not taken
# for an empty text.
for how in file stdin; do
  if [[ $how == file ]]; then out=$("$tool" "$work" 2>"$work/err"); rc=$?
  else out=$("$tool" < "$work" 2>"$work/err"); rc=$?; fi
  if [[ $rc -ne 2 || -n "$out" ]] || ! grep -q 'cannot read .*Is a directory' "$work/err"; then
    echo "FAIL: folder as $how: status $rc, stdout '$out', stderr: $(cat "$work/err")"
    failures=$((failures + 1))
  fi
done

url=$("$tool" --path download_url "$sample")
[[ "$url" == "http://update.zelvano.example/release/Version.zip" ]] || {
  echo "FAIL: sample download_url: $url"; failures=$((failures + 1)); }
# Printing and reading back gives the same document.
"$tool" --escape "$sample" > "$work/once.json"
"$tool" --escape "$work/once.json" > "$work/twice.json"
cmp -s "$work/once.json" "$work/twice.json" || { echo "FAIL: round trip differs"; failures=$((failures + 1)); }

# A document larger than the tool's slices, with multi-byte characters
# across the slice borders, prints as the library prints it.
python3 - "$work/big.json" <<'PY'
import json, sys
items = [{"k%d" % i: "é丁😀" * (i % 7) + "x" * (i % 5), "n": i * 1.25} for i in range(6000)]
open(sys.argv[1], "w", encoding="utf-8").write(json.dumps(items, ensure_ascii=False))
PY
"$tool" "$work/big.json" > "$work/big.out" || { echo "FAIL: big document"; failures=$((failures + 1)); }
python3 - "$work/big.json" "$work/big.out" <<'PY' || failures=$((failures + 1))
import json, sys
a = json.load(open(sys.argv[1], encoding="utf-8"))
b = json.load(open(sys.argv[2], encoding="utf-8"))
if a != b:
    print("FAIL: big document differs after printing")
    sys.exit(1)
PY

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all zelvano-json checks passed"
