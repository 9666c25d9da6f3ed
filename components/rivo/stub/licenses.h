#pragma once

// The notices of the libraries linked statically into every package, shown
// by --licenses. The one place these texts live: the man page and --help
// point here.

namespace dozo::rivo {

// %s: the glibc version, then the libsodium version.
inline constexpr char kLicenses[] =
    "This program carries two libraries, linked statically into it.\n"
    "\n"
    "GNU C Library (glibc) %s\n"
    "\n"
    "  Copyright (C) Free Software Foundation, Inc. and the glibc contributors.\n"
    "\n"
    "  The GNU C Library is free software; you can redistribute it and/or modify\n"
    "  it under the terms of the GNU Lesser General Public License as published by\n"
    "  the Free Software Foundation; either version 2.1 of the License, or (at your\n"
    "  option) any later version.\n"
    "\n"
    "  The GNU C Library is distributed in the hope that it will be useful, but\n"
    "  WITHOUT ANY WARRANTY; without even the implied warranty of MERCHANTABILITY or\n"
    "  FITNESS FOR A PARTICULAR PURPOSE. See the GNU Lesser General Public License\n"
    "  for more details: https://www.gnu.org/licenses/old-licenses/lgpl-2.1.html\n"
    "\n"
    "  Its source code is that of Debian 12's glibc package\n"
    "  (https://sources.debian.org/src/glibc/, or `apt-get source glibc`); upstream\n"
    "  releases are at https://ftp.gnu.org/gnu/glibc/. This program is built from\n"
    "  the Dozo source code (MIT license, the folder components/rivo/stub), which\n"
    "  you may rebuild and relink with a modified glibc; the result is a working\n"
    "  package program for the same packages.\n"
    "\n"
    "libsodium %s\n"
    "\n"
    "  ISC License\n"
    "\n"
    "  Copyright (c) 2013-2017 Frank Denis <j at pureftpd dot org>\n"
    "\n"
    "  Permission to use, copy, modify, and/or distribute this software for any\n"
    "  purpose with or without fee is hereby granted, provided that the above\n"
    "  copyright notice and this permission notice appear in all copies.\n"
    "\n"
    "  THE SOFTWARE IS PROVIDED \"AS IS\" AND ISC DISCLAIMS ALL WARRANTIES WITH REGARD\n"
    "  TO THIS SOFTWARE INCLUDING ALL IMPLIED WARRANTIES OF MERCHANTABILITY AND\n"
    "  FITNESS. IN NO EVENT SHALL ISC BE LIABLE FOR ANY SPECIAL, DIRECT, INDIRECT, OR\n"
    "  CONSEQUENTIAL DAMAGES OR ANY DAMAGES WHATSOEVER RESULTING FROM LOSS OF USE,\n"
    "  DATA OR PROFITS, WHETHER IN AN ACTION OF CONTRACT, NEGLIGENCE OR OTHER\n"
    "  TORTIOUS ACTION, ARISING OUT OF OR IN CONNECTION WITH THE USE OR PERFORMANCE\n"
    "  OF THIS SOFTWARE.\n";

}  // namespace dozo::rivo
