#!/bin/sh
# Every source path that the developer pages name in backquotes exists, so a
# move or a deletion that leaves a page behind is caught. Build outputs are
# not checked: they exist only after a build.
cd "$(dirname "$0")/../.."
status=0
for page in README.md docs/architecture.md; do
    for path in $(grep -o '`[^` ]*`' "$page" | tr -d '`' |
        grep -E '^(app|base|cmake|docs|engine|package|res|sample|tests|tools|ui)/'); do
        # A trailing slash names a folder; a star, a group of files.
        if ! ls -d $path >/dev/null 2>&1; then
            echo "check_doc_paths: $page names $path, which does not exist"
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "check_doc_paths: every path named exists"
exit $status
