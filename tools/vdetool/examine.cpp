// info and check: what an episode file holds and whether it is sound.
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "commands.h"
#include "cp850.h"
#include "picture_packing.h"
#include "vdetool.h"

namespace {

const char* const kSlotNames[] = {"Image", "Title", "LowTitle"};

// What one read of an episode file found.
struct Inspection {
    OwnedEpisode episode;
    EpisodeReadReport report;
    bool headerWhole = false;
    bool unpacks = false;
    std::string problem;  // the first reason the file is not sound; empty when it is
};

// False when the file cannot be opened (problem says why); otherwise true,
// with the verdict in `inspection`.
bool Inspect(const std::string& path, Inspection& inspection) {
    const EpisodeReadReport& report = inspection.report;
    if (!ReadEpisodeFile(inspection.episode.record, path.c_str(), &inspection.report)) {
        inspection.problem = report.problem.reason;
        return false;
    }
    inspection.headerWhole = report.fileSize >= kEpisodeHeaderBytes;
    if (!report.complete) {
        inspection.problem = report.problem.reason;
        return true;
    }
    Problem problem;
    inspection.unpacks = UnpackPictures(inspection.episode.record, &problem);
    if (!inspection.unpacks) inspection.problem = problem.reason;
    return true;
}

// A JSON string literal of `text`, valid UTF-8 whatever `text` holds: a
// byte that is not part of a UTF-8 character is written as the character it
// is in Latin-1 (\u00XX). The quoting of names in the plain output too, so
// that no byte of a field can move the terminal's cursor.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (size_t at = 0; at < text.size();) {
        const size_t start = at;
        uint32_t codePoint;
        const bool valid = NextUtf8CodePoint(text, at, codePoint);
        if (!valid) codePoint = static_cast<uint8_t>(text[at++]);
        char escape[8];
        if (codePoint == '"' || codePoint == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(codePoint);
        } else if (!valid || codePoint < 0x20 || codePoint == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(codePoint));
            quoted += escape;
        } else {
            quoted.append(text, start, at - start);
        }
    }
    return quoted + "\"";
}

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, static_cast<uint32_t>(value));
    return text;
}

// Pixel bytes over blob bytes; negative when there is no such ratio. Only
// for complete files: the blobs of a damaged one are partly missing.
double CompressionRatio(const EpisodeRecord& record) {
    const EpisodeHeader& h = record.header;
    const uint64_t image = PictureBytes(h.imageWidth, h.imageHeight);
    const uint64_t title = PictureBytes(h.titleWidth, h.titleHeight);
    const uint64_t blobs =
        uint64_t{record.imageBlob.length} + record.titleBlob.length + record.lowTitleBlob.length;
    if (image == 0 || title == 0 || blobs == 0) return -1;
    return static_cast<double>(image + 2 * title) / static_cast<double>(blobs);
}

struct NamedInteger {
    const char* name;
    int32_t value;
};

// The header's integers that the editor never interprets, in file order.
std::array<NamedInteger, 7> HeaderIntegers(const EpisodeHeader& h) {
    return {{
        {"headerSize", h.headerSize},
        {"episodeExtraA", h.episodeExtraA},
        {"episodeExtraB", h.episodeExtraB},
        {"imageExtraA", h.imageExtraA},
        {"imageExtraB", h.imageExtraB},
        {"titleExtraA", h.titleExtraA},
        {"titleExtraB", h.titleExtraB},
    }};
}

const char* const kBlobLabels[] = {"imageBlob:", "titleBlob:", "lowTitleBlob:"};

// A blob's length with `unit`; `unknown` for one the reader never had whole
// (a length read from a damaged file is no blob's length).
std::string BlobLength(const Inspection& inspection, int slot, const char* unit,
                       const char* unknown) {
    if (slot >= inspection.report.wholeBlobs) return unknown;
    const Blob* blobs[] = {&inspection.episode.record.imageBlob,
                           &inspection.episode.record.titleBlob,
                           &inspection.episode.record.lowTitleBlob};
    return std::to_string(blobs[slot]->length) + unit;
}

void PrintText(FILE* out, const std::string& path, const Inspection& inspection) {
    const EpisodeRecord& record = inspection.episode.record;
    const EpisodeHeader& h = record.header;
    std::fprintf(out, "file:          %s\n", path.c_str());
    std::fprintf(out, "size:          %" PRIu64 " bytes\n", inspection.report.fileSize);
    if (inspection.headerWhole) {
        std::fprintf(out, "name:          %s\n",
                     Quoted(Cp850FieldToUtf8(h.name, kNameSize)).c_str());
        std::fprintf(out, "startLevel:    %s\n",
                     Quoted(Cp850FieldToUtf8(h.startLevel, kStartLevelSize)).c_str());
        std::fprintf(out, "place:         %" PRIu32 "\n", h.listPlace);
        for (const NamedInteger& field : HeaderIntegers(h)) {
            std::fprintf(out, "%-14s %" PRId32 " (%s)\n", (field.name + std::string(":")).c_str(),
                         field.value, Hex(field.value).c_str());
        }
        std::fprintf(out, "image:         %" PRIu32 "x%" PRIu32 "\n", h.imageWidth, h.imageHeight);
        std::fprintf(out, "title:         %" PRIu32 "x%" PRIu32 " (the LowTitle too)\n",
                     h.titleWidth, h.titleHeight);
        for (int slot = 0; slot < 3; ++slot) {
            std::fprintf(out, "%-14s %s\n", kBlobLabels[slot],
                         BlobLength(inspection, slot, " bytes", "unknown").c_str());
        }
        const double ratio = inspection.report.complete ? CompressionRatio(record) : -1;
        if (ratio >= 0) {
            std::fprintf(out, "compression:   %.2f:1\n", ratio);
        } else {
            std::fprintf(out, "compression:   unknown\n");
        }
    }
    const bool complete = inspection.report.complete;
    std::fprintf(out, "complete:      %s%s%s\n", complete ? "yes" : "no (",
                 complete ? "" : inspection.problem.c_str(), complete ? "" : ")");
    if (inspection.unpacks) {
        std::fprintf(out, "unpacks:       yes\n");
    } else {
        std::fprintf(out, "unpacks:       no (%s)\n",
                     complete ? inspection.problem.c_str() : "the file is not complete");
    }
}

void PrintJson(FILE* out, const std::string& path, const Inspection& inspection) {
    const EpisodeRecord& record = inspection.episode.record;
    const EpisodeHeader& h = record.header;
    std::fprintf(out, "{\n  \"file\": %s,\n  \"size\": %" PRIu64 ",\n", Quoted(path).c_str(),
                 inspection.report.fileSize);
    if (inspection.headerWhole) {
        std::fprintf(out, "  \"header\": {\n");
        std::fprintf(out, "    \"name\": %s,\n",
                     Quoted(Cp850FieldToUtf8(h.name, kNameSize)).c_str());
        std::fprintf(out, "    \"startLevel\": %s,\n",
                     Quoted(Cp850FieldToUtf8(h.startLevel, kStartLevelSize)).c_str());
        std::fprintf(out, "    \"place\": %" PRIu32 ",\n", h.listPlace);
        for (const NamedInteger& field : HeaderIntegers(h)) {
            std::fprintf(out, "    \"%s\": %" PRId32 ",\n    \"%sHex\": \"%s\",\n", field.name,
                         field.value, field.name, Hex(field.value).c_str());
        }
        std::fprintf(out,
                     "    \"imageWidth\": %" PRIu32 ",\n    \"imageHeight\": %" PRIu32
                     ",\n    \"titleWidth\": %" PRIu32 ",\n    \"titleHeight\": %" PRIu32
                     "\n  },\n",
                     h.imageWidth, h.imageHeight, h.titleWidth, h.titleHeight);
        std::fprintf(out, "  \"blobs\": {\"image\": %s, \"title\": %s, \"lowTitle\": %s},\n",
                     BlobLength(inspection, 0, "", "null").c_str(),
                     BlobLength(inspection, 1, "", "null").c_str(),
                     BlobLength(inspection, 2, "", "null").c_str());
    } else {
        std::fprintf(out, "  \"header\": null,\n  \"blobs\": null,\n");
    }
    const double ratio = inspection.report.complete ? CompressionRatio(record) : -1;
    if (ratio >= 0) {
        std::fprintf(out, "  \"compressionRatio\": %.4f,\n", ratio);
    } else {
        std::fprintf(out, "  \"compressionRatio\": null,\n");
    }
    std::fprintf(out, "  \"complete\": %s,\n  \"unpacks\": %s,\n  \"problem\": %s\n}",
                 inspection.report.complete ? "true" : "false",
                 inspection.unpacks ? "true" : "false",
                 inspection.problem.empty() ? "null" : Quoted(inspection.problem).c_str());
}

}  // namespace

int RunInfo(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    if (!ParseCommand(tool, "info", argc, argv, {{"json", 0, false}}, parsed, status)) {
        return status;
    }
    if (parsed.operands.empty()) {
        return UsageError(tool, "info", "info: give one or more episode files");
    }
    const bool json = OptionValue(parsed, "json") != nullptr;
    // Several files as JSON are one array; one file stays one object.
    const bool array = json && parsed.operands.size() > 1;
    if (array) std::fputs("[\n", tool.out);
    bool first = true;
    for (const std::string& path : parsed.operands) {
        Inspection inspection;
        if (!Inspect(path, inspection)) {
            status = Fail(tool, path, inspection.problem);
            continue;
        }
        if (!first) std::fputs(json ? ",\n" : "\n", tool.out);
        first = false;
        if (json) {
            PrintJson(tool.out, path, inspection);
        } else {
            PrintText(tool.out, path, inspection);
        }
        if (!inspection.problem.empty()) status = Fail(tool, path, inspection.problem);
    }
    if (json && !first) std::fputs("\n", tool.out);
    if (array) std::fputs("]\n", tool.out);
    return status;
}

int RunCheck(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    if (!ParseCommand(tool, "check", argc, argv, {}, parsed, status)) return status;
    if (parsed.operands.empty()) {
        return UsageError(tool, "check", "check: give one or more episode files");
    }
    for (const std::string& path : parsed.operands) {
        Inspection inspection;
        Inspect(path, inspection);
        if (inspection.problem.empty()) {
            std::fprintf(tool.out, "%s: ok\n", path.c_str());
        } else {
            std::fprintf(tool.out, "%s: %s\n", path.c_str(), inspection.problem.c_str());
            status = kStatusFailed;
        }
    }
    return status;
}
