#!/bin/sh
# `file` as the Debian package's generator sees it. Our libraries in
# /usr/lib/zubeto are plugins that the programs load by full path, never
# through the dynamic loader's cache; told "shared object", the generator
# would add ldconfig calls to the package's maintainer scripts, which have
# nothing to do for them. Everything else is reported as `file` reports it.
LC_ALL=C file "$@" | sed 's/ELF \(.*\) shared object/ELF \1 plugin module/'
