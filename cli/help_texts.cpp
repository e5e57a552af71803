#include "cli/help_texts.h"

#include <map>

namespace murrel::cli {

namespace {

const std::vector<HelpLine> kOutputFolder = {
    {"-o, --output DIR", "write the results into DIR (default: beside each source); - writes one result to "
                         "standard output"},
    {"--overwrite", "replace results that exist already; the old file stays until the new one is complete"},
    {"-q, --quiet", "no progress on standard error"},
    {"-j, --jobs N", "convert N files at once (default: one per processor)"},
};

std::vector<HelpLine> with_output_folder(std::vector<HelpLine> lines) {
    lines.insert(lines.end(), kOutputFolder.begin(), kOutputFolder.end());
    return lines;
}

const std::map<std::string_view, std::vector<HelpLine>>& table() {
    static const std::map<std::string_view, std::vector<HelpLine>> all = {
        {"info",
         {{"FILE...", "voice files and WAV files"},
          {"--json", "one JSON object a file instead of a line of text"}}},
        {"decode", with_output_folder({{"FILE.vkd...", "voice files; - reads one from standard input"}})},
        {"encode", with_output_folder({{"FILE.wav...", "WAV files of any format the program reads; - reads one from standard input"},
                                       {"-m, --mode sp|hq|shq", "the recording mode of the voice files made"}})},
        {"convert",
         {{"FILE.wav", "a WAV file of any format the program reads (ADPCM, A-law, mu-law, 8/24/32-bit, stereo)"},
          {"--rate HZ", "the sample rate of the result"},
          {"--channels N", "1 for mono, 2 for stereo"},
          {"--bits B", "8 or 16 bits a sample"},
          {"-o OUT.wav", "the result (default: FILE_RATE.wav beside the source)"},
          {"--overwrite", "replace OUT.wav if it exists; it stays as it was until the new file is complete"},
          {"-q, --quiet", "no progress on standard error"}}},
        {"play",
         {{"FILE.wav|FILE.vkd", "played to its end on the sound device; Ctrl+C stops"},
          {"--speed PCT", "50 to 200 in steps of 5 (default 100); the pitch stays as recorded"},
          {"--from SECONDS", "start this far into the file (file time, whatever the speed)"}}},
        {"record",
         {{"--mode sp|hq|shq", "the recording mode: its sample rate, and its bit rate for a voice file"},
          {"--seconds N", "how long to record; Ctrl+C, SIGTERM or SIGHUP end earlier with a valid file"},
          {"-o FILE.wav|FILE.vkd", "a WAV file, or by the extension .vkd a voice file"},
          {"--overwrite", "replace FILE if it exists"}}},
        {"devices", {}},
        {"waveform",
         {{"FILE.wav...", "WAV files; their display data is built where the editor keeps it, or reused"},
          {"-o OUT.png|DIR", "the picture of one file, or a folder for one picture a file (NAME.png)"},
          {"--width W", "picture width in pixels (default 800)"},
          {"--height H", "picture height in pixels (default 160)"}}},
        {"mail",
         {{"FILE...", "the attachments; the registered mail program opens a new message with them"},
          {"--wav", "attach voice files as NAME.wav decoded beside them (an existing NAME.wav is not replaced; "
                    "the voice file is attached then)"}}},
        {"edit",
         {{"IN.wav", "the document; it is not changed"},
          {"--cut FROM:TO", "remove a range"},
          {"--trim FROM:TO", "keep only a range"},
          {"--insert-blank AT", "insert one second of silence"},
          {"--paste CLIP.wav@AT", "insert a WAV file, converted to the document's format"},
          {"--volume up|down|reset", "raise or lower the whole document a step, or undo the steps"},
          {"-o OUT.wav", "the result"},
          {"--overwrite", "replace OUT.wav if it exists"},
          {"positions", "seconds (1.5) or frames (24000f); operations apply in the order given"}}},
    };
    return all;
}

}  // namespace

const std::vector<HelpLine>& command_options(std::string_view command) {
    static const std::vector<HelpLine> none;
    const auto& all = table();
    const auto it = all.find(command);
    return it == all.end() ? none : it->second;
}

}  // namespace murrel::cli
