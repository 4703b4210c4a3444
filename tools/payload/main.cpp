// payload: builds, lists and extracts the installer's payload archives.
//
//   payload build MANIFEST OUT      writes the archive of the files a manifest names
//   payload list ARCHIVE            prints the header and one line per entry
//   payload extract ARCHIVE --install DIR [--samples TEXT] [--temp DIR]
//                                   extracts with the installer's own extractor
//
// A manifest is UTF-8 text, one entry per line: KIND, a tab, the destination in macro form, a
// tab, the source file relative to the manifest's folder. Blank lines and lines beginning with
// '#' are ignored.
#include <windows.h>

#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "engine/payload_extractor.h"
#include "support/encoding.h"

namespace {

std::wstring FromUtf8(const std::string& text) { return kv::utf8_to_wide(text); }

std::string ToUtf8(const std::wstring& text) { return kv::wide_to_utf8(text); }

struct ManifestLine {
  std::filesystem::path source;
  PayloadEntry entry;
};

std::vector<ManifestLine> ReadManifest(const std::filesystem::path& manifest) {
  std::ifstream in(manifest, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open the manifest " + manifest.string());
  const std::filesystem::path folder = std::filesystem::absolute(manifest).parent_path();
  std::vector<ManifestLine> lines;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t first = line.find('\t'), second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos)
      throw std::runtime_error("manifest line " + std::to_string(number) + ": expected KIND<tab>DESTINATION<tab>SOURCE");
    ManifestLine parsed;
    parsed.entry.kind = static_cast<std::uint32_t>(std::stoul(line.substr(0, first)));
    parsed.entry.destination = FromUtf8(line.substr(first + 1, second - first - 1));
    parsed.source = (folder / std::filesystem::path(FromUtf8(line.substr(second + 1)))).lexically_normal();
    parsed.entry.source = parsed.source.wstring();
    parsed.entry.size = std::filesystem::file_size(parsed.source);
    parsed.entry.crc = FileCrc32(parsed.entry.source);
    lines.push_back(std::move(parsed));
  }
  return lines;
}

int Build(const std::filesystem::path& manifest, const std::filesystem::path& archive) {
  const std::vector<ManifestLine> lines = ReadManifest(manifest);
  std::vector<PayloadEntry> entries;
  for (const ManifestLine& line : lines) entries.push_back(line.entry);
  std::ofstream out(archive, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot create " + archive.string());
  WritePayloadArchive(out, entries, [&](std::size_t index, std::ostream& sink) {
    // An empty file has nothing to copy (and copying nothing would set the sink's failbit).
    if (entries[index].size == 0) return;
    std::ifstream in(lines[index].source, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + lines[index].source.string());
    sink << in.rdbuf();
  });
  out.close();
  if (!out) throw std::runtime_error("cannot write " + archive.string());
  std::uint64_t total = 0;
  for (const PayloadEntry& entry : entries) total += entry.size;
  std::printf("built %s: %zu entries, %llu bytes of file data\n", archive.string().c_str(), entries.size(),
              static_cast<unsigned long long>(total));
  return 0;
}

int List(const std::filesystem::path& archive) {
  std::ifstream file(archive, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + archive.string());
  boost::iostreams::filtering_istream in;
  in.push(boost::iostreams::bzip2_decompressor());
  in.push(file);
  std::string header(8, '\0');
  in.read(header.data(), 8);
  if (in.gcount() != 8) throw std::runtime_error("the archive ends inside its header");
  const std::uint64_t headerSize = ReadPayloadHeaderSize(header);
  header.resize(static_cast<std::size_t>(headerSize));
  in.read(header.data() + 8, static_cast<std::streamsize>(headerSize - 8));
  if (static_cast<std::uint64_t>(in.gcount()) != headerSize - 8) throw std::runtime_error("the archive ends inside its header");
  const std::vector<PayloadEntry> entries = ReadPayloadEntries(header);
  std::printf("header size %llu\nentries %zu\n", static_cast<unsigned long long>(headerSize), entries.size());
  for (const PayloadEntry& entry : entries) {
    const std::wstring name = std::filesystem::path(entry.source).filename().wstring();
    std::printf("%u %12llu %08x %s %s\n", entry.kind, static_cast<unsigned long long>(entry.size), entry.crc,
                ToUtf8(entry.destination).c_str(), ToUtf8(name).c_str());
  }
  return 0;
}

int Extract(const std::filesystem::path& archive, const std::wstring& install, const std::wstring& samples,
            const std::wstring& temp) {
  std::ifstream file(archive, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + archive.string());
  std::uint64_t lastReported = 0;
  const bool ok = ExtractPayload(file, install, samples, temp, [&](notification message) {
    if (const auto* progress = std::get_if<notification::progress>(&message)) {
      // One line per megabyte is enough to follow the extraction.
      if (progress->processed - lastReported >= (1u << 20) || progress->processed == progress->total) {
        std::printf("progress %llu/%llu\n", static_cast<unsigned long long>(progress->processed),
                    static_cast<unsigned long long>(progress->total));
        lastReported = progress->processed;
      }
    } else if (std::holds_alternative<notification::started>(message)) {
      std::printf("started\n");
    } else if (const auto* begin = std::get_if<notification::file_begin>(&message)) {
      std::printf("file_begin %s\n", ToUtf8(begin->entry.destination).c_str());
    } else if (const auto* end = std::get_if<notification::file_end>(&message)) {
      std::printf("file_end %s %08x\n", ToUtf8(end->entry.destination).c_str(), end->entry.crc);
    } else if (const auto* finished = std::get_if<notification::finished>(&message)) {
      std::printf("finished %llu compressed bytes, %llu archive bytes\n",
                  static_cast<unsigned long long>(finished->consumed), static_cast<unsigned long long>(finished->total));
    } else if (const auto* failure = std::get_if<notification::failure>(&message)) {
      std::printf("failed: %d %s %s%s%s\n", failure->value, failure->category.name(),
                  failure->category.message(failure->value).c_str(), failure->path.empty() ? "" : " ",
                  ToUtf8(failure->path).c_str());
    }
    return notification::result::proceed;
  });
  if (ok) std::printf("OK\n");
  return ok ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: payload build MANIFEST OUT\n"
               "       payload list ARCHIVE\n"
               "       payload extract ARCHIVE --install DIR [--samples TEXT] [--temp DIR]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  try {
    if (args.size() == 3 && args[0] == L"build") return Build(args[1], args[2]);
    if (args.size() == 2 && args[0] == L"list") return List(args[1]);
    if (args.size() >= 2 && args[0] == L"extract") {
      std::wstring install, samples, temp;
      for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == L"--install") install = args[i + 1];
        else if (args[i] == L"--samples") samples = args[i + 1];
        else if (args[i] == L"--temp") temp = args[i + 1];
        else return Usage();
      }
      if (install.empty() || args.size() % 2 != 0) return Usage();
      return Extract(args[1], install, samples, temp);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "payload: %s\n", error.what());
    return 1;
  }
  return Usage();
}
