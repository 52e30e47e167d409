#!/usr/bin/env python3
"""Checks that every .cpp file of the tree is named in a CMake source list, so that no
file (a test above all) is left out of the build unnoticed.

  scripts/check_sources.py     exit 1 and name the files no list names
"""
import pathlib
import re
import sys

# Sources that are not ours to build: the third-party corpus keeps its own.
NOT_BUILT = ("tests/corpus/",)

repo = pathlib.Path(__file__).resolve().parent.parent
SOURCE = re.compile(r"[\w./${}-]+\.cpp\b")


def tree(pattern):
    """The files of the tree matching `pattern`, without hidden and build folders."""
    yield from sorted(repo.glob(pattern))
    for folder in sorted(repo.iterdir()):
        if folder.is_dir() and not folder.name.startswith((".", "build")):
            yield from sorted(folder.rglob(pattern))


def tracked_sources():
    for path in tree("*.cpp"):
        relative = path.relative_to(repo).as_posix()
        if not relative.startswith(NOT_BUILT):
            yield relative


def named_sources():
    named = set()
    for cmake in [*tree("CMakeLists.txt"), *tree("*.cmake")]:
        folder = cmake.parent
        for token in SOURCE.findall(cmake.read_text()):
            token = (token.replace("${CMAKE_CURRENT_LIST_DIR}", str(folder))
                     .replace("${CMAKE_CURRENT_SOURCE_DIR}", str(folder))
                     .replace("${CMAKE_SOURCE_DIR}", str(repo)))
            path = pathlib.Path(token)
            if not path.is_absolute():
                path = folder / path
            named.add(path.resolve())
    return named


def main():
    named = named_sources()
    missing = [source for source in tracked_sources() if (repo / source).resolve() not in named]
    for source in missing:
        print(f"sources: {source} is in no CMake source list")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
