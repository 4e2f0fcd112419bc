// Sub-commands of mkpackage. Each takes the arguments after its own name and
// returns the process exit code (0 success, 1 refused input, 2 usage error).
#pragma once

int RunPack(int argc, char** argv);      // pack --stub STUB -o OUT FILE...
int RunCompress(int argc, char** argv);  // compress FILE... [-o DIR]
int RunExpand(int argc, char** argv);    // expand FILE... [-o DIR]
int RunBuild(int argc, char** argv);     // build --script INF --from DIR --stub STUB -o OUT
int RunList(int argc, char** argv);      // list PACKAGE
int RunExtract(int argc, char** argv);   // extract PACKAGE DIR [--expand] [--force]
int RunVerify(int argc, char** argv);    // verify PACKAGE [--from DIR]...
