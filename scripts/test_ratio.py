#!/usr/bin/env python3
"""scripts/test_ratio.py [REPO]: how many lines of test code capsel carries for its product code.

Counts the code lines (not blank, not only a comment) of the files git tracks:
  tests:   *_test.cpp/.cc/.h, fakes (fake_*), test helpers (e2e_helpers, test_documents,
           test_application, test_support), and everything under tests/, testing/ or fuzz/;
  product: everything else under src/, bench/ and scripts/, and the shell scripts at the top.
Only .cpp .cc .h .hpp .in .sh .py files are code. Prints one line; when the tests
exceed half the product, says so and exits with 1.
"""
import os
import re
import subprocess
import sys

LIMIT_PERCENT = 50
CODE = re.compile(r'\.(cpp|cc|h|hpp|in|sh|py)$')
TEST = re.compile(r'(^|/)(tests?|testing|fuzz)/|_test\.(cpp|cc|h)$|(^|/)fake_|e2e_helpers|test_documents|'
                  r'test_application|test_support')
PRODUCT = re.compile(r'^(src|bench|scripts)/|^[^/]+\.sh$')


def code_lines(path):
    """Lines with code. Shell and Python: # starts a comment line. C++: // starts a comment line,
    and a /* */ comment that opens a line hides the lines up to its end."""
    hash_comments = path.endswith(('.sh', '.py'))
    lines, in_comment = 0, False
    with open(path, encoding='utf-8', errors='replace') as f:
        for raw in f:
            text = raw.strip()
            if not hash_comments:
                if in_comment:
                    if '*/' not in text:
                        continue
                    in_comment = False
                    text = text.split('*/', 1)[1].strip()
                if text.startswith('/*'):
                    in_comment = '*/' not in text
                    continue
            if text and not text.startswith('//') and not (hash_comments and text.startswith('#')):
                lines += 1
    return lines


def main():
    repo = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    tracked = subprocess.run(['git', '-C', repo, 'ls-files'], capture_output=True, text=True,
                             check=True).stdout.splitlines()
    tests = product = 0
    for name in tracked:
        path = os.path.join(repo, name)
        if not CODE.search(name) or not os.path.isfile(path):
            continue
        if TEST.search(name):
            tests += code_lines(path)
        elif PRODUCT.search(name):
            product += code_lines(path)
    percent = 100.0 * tests / product if product else 0.0
    print(f'test ratio: tests {tests} lines, product {product} lines: tests are {percent:.1f}% of product '
          f'(at most {LIMIT_PERCENT}%), {100.0 * tests / max(tests + product, 1):.0f}% of all code')
    if tests * 100 > product * LIMIT_PERCENT:
        print(f'test ratio: above {LIMIT_PERCENT}%: cut repetition before adding tests')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
