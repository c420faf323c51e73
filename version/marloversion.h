#pragma once

// This build's version: the project's version and, when it was built from a
// git checkout, "git describe" of that checkout in brackets, e.g.
// "0.1 (g1a2b3c4)"; the version alone when built from a tarball. The
// programs print their name and this text for --version, and Marlo's log
// file starts with it.
const char *marloVersion();
