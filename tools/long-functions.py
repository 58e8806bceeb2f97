#!/usr/bin/env python3
"""Lists the functions of C++ files longer than a limit, from the signature's first line to the closing
brace, longest first; exits with 1 when one is over. Usage: tools/long-functions.py [--limit N] FILE...

    tools/long-functions.py ui/*.cpp        # the window code keeps its functions to 80 lines
"""
import re
import sys


def blank_out(source):
    """The source without comments, string and character literals, so that their braces do not count."""
    source = re.sub(r'//[^\n]*', '', source)
    source = re.sub(r'/\*.*?\*/', lambda m: '\n' * m.group(0).count('\n'), source, flags=re.S)
    source = re.sub(r'L?"(\\.|[^"\\\n])*"', '""', source)
    return re.sub(r"L?'(\\.|[^'\\\n])*'", "''", source)


def signature_start(lines, opening):
    """The line (1-based) where the signature of the body opened on line `opening` begins."""
    start = opening
    while start > 1:
        previous = lines[start - 2].rstrip()
        if not previous.strip() or previous.endswith((';', '}', '{')) or previous.lstrip().startswith('#'):
            break
        start -= 1
    return start


def functions(path):
    """(length, first line, signature) of each outermost function body in `path`."""
    lines = blank_out(open(path, encoding='utf-8').read()).split('\n')
    opens_body = re.compile(r'\)\s*(const)?\s*(noexcept)?\s*(override)?\s*(->[^{]*)?(:.*)?\{?\s*$')
    depth, body_depth, first = 0, None, None
    for number, line in enumerate(lines, 1):
        for c in line:
            if c == '{':
                if body_depth is None and opens_body.search(line) and not re.match(r'\s*(namespace|class|struct|enum)\b', line):
                    body_depth, first = depth, signature_start(lines, number)
                depth += 1
            elif c == '}':
                depth -= 1
                if body_depth is not None and depth == body_depth:
                    yield number - first + 1, first, lines[first - 1].strip()
                    body_depth = None


def main(arguments):
    limit = 80
    if arguments[:1] == ['--limit']:
        limit, arguments = int(arguments[1]), arguments[2:]
    found = sorted(((length, path, first, signature) for path in arguments
                    for length, first, signature in functions(path)), reverse=True)
    for length, path, first, signature in found:
        if length > limit:
            print(f'{path}:{first}: {length} lines: {signature}')
    longest = found[0] if found else None
    if longest:
        print(f'longest: {longest[0]} lines, {longest[1]}:{longest[2]}')
    return 1 if longest and longest[0] > limit else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
