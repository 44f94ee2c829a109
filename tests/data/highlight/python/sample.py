#!/usr/bin/env python3
"""Check the links of a static site before it is uploaded.

Walks the build directory, collects every href and src of the HTML pages
and reports the ones that point to missing files or answer with an error.
"""

import argparse
import sys
from dataclasses import dataclass, field
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import urljoin, urlparse
from urllib.request import Request, urlopen

TIMEOUT = 10  # seconds
USER_AGENT = "site-link-check/1.3"
SKIPPED_SCHEMES = {'mailto', 'tel', 'javascript', 'data'}


@dataclass
class Link:
    page: Path
    line: int
    target: str
    problems: list = field(default_factory=list)

    @property
    def is_external(self) -> bool:
        return urlparse(self.target).scheme in ('http', 'https')


class LinkCollector(HTMLParser):
    """Collects the links of one page with their line numbers."""

    ATTRIBUTES = {'a': 'href', 'link': 'href', 'img': 'src', 'script': 'src'}

    def __init__(self, page):
        super().__init__(convert_charrefs=True)
        self.page = page
        self.links = []

    def handle_starttag(self, tag, attrs):
        wanted = self.ATTRIBUTES.get(tag)
        if wanted is None:
            return
        for name, value in attrs:
            if name == wanted and value and not value.startswith('#'):
                line, _ = self.getpos()
                self.links.append(Link(self.page, line, value.strip()))


def collect(root: Path):
    for page in sorted(root.rglob('*.html')):
        collector = LinkCollector(page)
        collector.feed(page.read_text(encoding='utf-8', errors='replace'))
        yield from collector.links


def check_local(root, link):
    target = urlparse(link.target).path
    if target.startswith('/'):
        path = root / target.lstrip('/')
    else:
        path = link.page.parent / target
    if path.is_dir():
        path = path / 'index.html'
    if not path.exists():
        link.problems.append(f"missing file {path.relative_to(root)}")


def check_external(link, cache):
    if link.target in cache:
        status = cache[link.target]
    else:
        request = Request(link.target, method='HEAD', headers={'User-Agent': USER_AGENT})
        try:
            with urlopen(request, timeout=TIMEOUT) as response:
                status = response.status
        except OSError as error:
            status = getattr(error, 'code', None) or str(error)
        cache[link.target] = status
    if not isinstance(status, int) or status >= 400:
        link.problems.append(f'answered {status!r}')


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('root', type=Path, help='the build directory')
    parser.add_argument('--external', action='store_true', help='also check external links')
    args = parser.parse_args(argv)

    cache = {}
    broken = 0
    for link in collect(args.root):
        scheme = urlparse(link.target).scheme
        if scheme in SKIPPED_SCHEMES:
            continue
        if link.is_external:
            if args.external:
                check_external(link, cache)
        else:
            check_local(args.root, link)
        for problem in link.problems:
            broken += 1
            print(f"{link.page}:{link.line}: {link.target}: {problem}")

    print(f"{broken} broken link{'s' if broken != 1 else ''}", file=sys.stderr)
    return 1 if broken else 0


if __name__ == '__main__':
    sys.exit(main())
