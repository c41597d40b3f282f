#!/usr/bin/env bash
# Hostile shapes of documents at three sizes, each converted by the built capsel:
#   bench/linear.sh [BUILD_DIR] [SHAPE...]      (default: build-test, every shape)
# Each shape is built at 1x, 2x and 4x its size and converted with `capsel --headless --once`;
# the script prints the three times and the ratios 2x/1x and 4x/2x. Where the time grows with
# the document, each ratio is about 2; a cost that grows with its square gives about 4.
# Shapes that pass a reader limit are refused, and their times show that refusing is quick.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
shift || true
[ -x "$build/capsel" ] || { echo "no $build/capsel: build first" >&2; exit 1; }
work=$(mktemp -d "${CAPSEL_BENCH_DIR:-/var/tmp}/capsel-linear.XXXXXX")
trap 'rm -rf "$work"' EXIT

# SHAPE: the base count, whether it needs StyleTags=1, what it is.
declare -A base styled about
add() { base[$1]=$2; styled[$1]=$3; about[$1]=$4; }
add attributes 100000 0 "one element of N attributes (refused)"
add timed-spans 40000 0 "one paragraph of N spans, each shown on its own"
add timed-styled 40000 1 "the same with StyleTags=1"
add style-refs 200 1 "N chains of 16 styles, each naming the next 100 times"
add stylings 20000 1 "N styling elements of one style each"
add paragraphs 50000 0 "N paragraphs"
add long-text 250000 0 "one paragraph of N bytes of text"
add breaks 100000 0 "one paragraph of N lines parted by br"
add nested-divs 200 0 "N nests of 200 divs, each holding a paragraph"
add nested-spans 200 0 "one paragraph of N nests of 200 spans"
add entities 10000 0 "N paragraphs of five references to an internal entity"
add open-ends 20000 0 "N paragraphs of one begin and no end"
add namespaces 200000 0 "N elements under 256 namespace declarations"
add long-tag 60000 0 "one p start tag of N bytes of attributes (the largest is refused)"
shapes=("$@")
[ ${#shapes[@]} -gt 0 ] || shapes=(attributes timed-spans timed-styled style-refs stylings paragraphs
  long-text breaks nested-divs nested-spans entities open-ends namespaces long-tag)

generate() {  # SHAPE N FILE
  python3 - "$1" "$2" >"$3" <<'PY'
import sys
shape, n = sys.argv[1], int(sys.argv[2])
ns = 'xmlns="http://www.w3.org/ns/ttml" xmlns:tts="http://www.w3.org/ns/ttml#styling"'
def doc(body, head='', doctype=''):
    return f'<?xml version="1.0" encoding="UTF-8"?>\n{doctype}<tt {ns}><head>{head}</head><body><div>{body}</div></body></tt>\n'
def p(text, attrs='begin="0s" end="1s"'):
    return f'<p {attrs}>{text}</p>\n'
w = sys.stdout.write
if shape == 'attributes':
    w(doc(p('x', 'begin="0s" end="1s" ' + ' '.join(f'a{i}=""' for i in range(n)))))
elif shape in ('timed-spans', 'timed-styled'):
    spans = ''.join(f'<span begin="{i / 10}s" end="{(i + 1) / 10}s" tts:color="{"red" if i % 2 else "lime"}">{i % 10}</span>' for i in range(n))
    w(doc(p(spans, f'begin="0s" end="{n / 10}s"')))
elif shape == 'style-refs':
    styles = ''.join(f'<style xml:id="c{c}s{i}" style="{" ".join([f"c{c}s{i + 1}"] * 100)}" tts:color="red"/>'
                     for c in range(n) for i in range(16))
    w(doc(p('<span style="c0s0">x</span>'), f'<styling>{styles}</styling>'))
elif shape == 'stylings':
    head = ''.join(f'<styling><style xml:id="s{i}" style="s{i - 1}" tts:color="red"/></styling>' for i in range(n))
    w(doc(''.join(p(f'<span style="s{i}">x</span>') for i in range(0, n, 100)), head))
elif shape == 'paragraphs':
    w(doc(''.join(p(f'<span>Zeile {i}</span><br/><span>und noch eine</span>', f'begin="{i}s" end="{i}.5s"') for i in range(n))))
elif shape == 'long-text':
    w(doc(p(('Wörter ' * (n // 8 + 1))[:n])))
elif shape == 'breaks':
    w(doc(p('ab<br/>' * n)))
elif shape == 'nested-divs':
    w(doc(('<div>' * 200 + p('x') + '</div>' * 200) * n))
elif shape == 'nested-spans':
    w(doc(p(('<span>' * 200 + 'x ' + '</span>' * 200) * n)))
elif shape == 'entities':
    w(doc(''.join(p('&e;' * 5, f'begin="{i}s" end="{i}.5s"') for i in range(n)),
          doctype='<!DOCTYPE tt [<!ENTITY e "Grüße aus Köln ">]>\n'))
elif shape == 'open-ends':
    w(doc(''.join(p(f'x{i}', 'begin="1s"') for i in range(n))))
elif shape == 'namespaces':
    decls = ' '.join(f'xmlns:n{i}="urn:n{i}"' for i in range(254))
    w(doc(f'<div {decls}>' + p('<x/>' * n + 'x') + '</div>'))
elif shape == 'long-tag':
    w(doc(p('x', 'begin="0s" end="1s" title="' + '-' * (n - 40) + '"')))
PY
}

printf '%-13s %-62s %10s %8s %8s %8s %7s %7s  %s\n' shape "what (N at 1x)" "1x bytes" "1x s" "2x s" "4x s" 2x/1x 4x/2x outcome
for shape in "${shapes[@]}"; do
  [ -n "${base[$shape]:-}" ] || { echo "no shape $shape" >&2; exit 1; }
  times=() outcome="" bytes=0 reason=""
  for factor in 1 2 4; do
    dir="$work/$shape-$factor"
    mkdir -p "$dir"/{in,out,done}
    generate "$shape" $((base[$shape] * factor)) "$dir/in/doc.xml"
    [ "$factor" = 1 ] && bytes=$(stat -c %s "$dir/in/doc.xml")
    printf '[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n[Processing]\nMinFileAge=0\nStyleTags=%s\n' \
      "${styled[$shape]}" >"$dir/capsel.ini"
    t0=$(date +%s.%N)
    status=0
    timeout 600 "$build/capsel" --headless --once --config "$dir/capsel.ini" >"$dir/log.txt" 2>&1 || status=$?
    t1=$(date +%s.%N)
    times+=("$(python3 -c "print(f'{$t1 - $t0:.3f}')")")
    if grep -q 'Skipping file' "$dir/log.txt"; then
      outcome+="refused " reason=$(grep -A1 'Skipping file' "$dir/log.txt" | tail -1 | grep -o -- '---- .*' || true)
    elif [ "$status" = 0 ] || [ "$status" = 2 ]; then  # 2: lines such as File Error were logged
      outcome+="converted "
    else
      outcome+="status-$status "
    fi
    rm -rf "$dir"
  done
  python3 - "$shape" "${about[$shape]} (${base[$shape]})" "$bytes" "${times[@]}" "$outcome" "$reason" <<'PY'
import sys
shape, about, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
t1, t2, t4 = map(float, sys.argv[4:7])
outcomes = sys.argv[7].split()
outcome = outcomes[0] if len(set(outcomes)) == 1 else '/'.join(outcomes)
if sys.argv[8]:
    outcome += ': ' + sys.argv[8][5:]
print(f"{shape:<13} {about:<62} {size:>10} {t1:8.3f} {t2:8.3f} {t4:8.3f} {t2 / t1:7.2f} {t4 / t2:7.2f}  {outcome}")
PY
done
