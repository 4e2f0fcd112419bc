#include "app/relaunch_command.h"

#include "base/text.h"

bool BuildRelaunchCommand(const char* tempPath, const char* installDir, int32_t parentHandle,
                          char (&buffer)[kRelaunchCommandSize]) {
    ByteString line("\"");
    line.Append(tempPath);
    line.Append("\" -u -p \" ");
    line.Append(installDir);
    line.Append(" \" -c ");
    line.AppendNumber(parentHandle);
    return CopyToBuffer(buffer, sizeof buffer, line.c_str());
}
