// Band files: compressed bands of a large PNG kept outside it, so that a
// render can resume after an interruption (a folder of bands beside the
// target, band_store.h) or be spread over many machines (one part file per
// machine, joined into the PNG by join.h). This is their format, written and
// read back, and what a band must be to be taken.
#pragma once

#include "picture/picture_file.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <string>

namespace glimra {

// What every band file begins with.
inline constexpr char kBandFileMagic[] = "GLIMRA-BANDS 1\n";

// Part K of N of a picture's bands, or none (n == 0).
struct PartOf {
    int k = 0;
    int n = 0;
    bool any() const { return n > 0; }
};

// FILE.png.part-K-of-N
std::string partPath(const std::string& output, PartOf part);
// FILE.png.parts: where --resume keeps finished bands.
std::string resumeFolder(const std::string& output);
// The bands [first, end) that part K of N of `bands` bands renders.
std::pair<long, long> partBands(long bands, PartOf part);

// What every band file of one picture shares. `key` identifies the picture
// and its banding (the recipe's chunks, the size, the band height), so a band
// of another picture is never taken for one of this.
struct BandHeader {
    std::string key;
    TextChunks chunks;
    long width = 0;
    long height = 0;
    long bandRows = 0;
    long first = 0;  // the bands held: [first, end)
    long end = 0;
    PartOf part;
};

std::string bandKey(const TextChunks& chunks, long width, long height, long bandRows);

// Where the first arithmetic fault met in a part's bands was; -1 for none.
struct PartFault {
    long m = -1;
    long n = -1;
    bool found() const { return m >= 0; }
};

// Writes a band file: the header, then each band in order, then the fault
// found (if any) and a checksum of everything.
class BandFileWriter {
public:
    BandFileWriter(FILE* out, const BandHeader& header);
    bool add(long index, const CompressedBand& band);
    bool finish(const PartFault& fault);
    bool failed() const { return failed_; }
    int error() const { return error_; }

private:
    bool put(const void* data, std::size_t size);
    bool putNumber(unsigned long long v);
    bool putBytes(const void* data, std::size_t size);
    FILE* out_;
    unsigned long crc_;
    bool failed_ = false;
    int error_ = 0;
};

// Reads a band file back: open() checks its checksum over the whole file
// before anything in it is believed, and reads the header.
class BandFileReader {
public:
    ~BandFileReader();
    bool open(const std::string& path, std::string* why);
    const BandHeader& header() const { return header_; }
    // The next band, or false at the end (then fault() is known) or when the
    // file is broken (`why` says how).
    bool next(long* index, CompressedBand& band, bool* end, std::string* why);
    const PartFault& fault() const { return fault_; }

private:
    bool get(void* data, std::size_t size);
    bool getNumber(unsigned long long* v);
    bool getBytes(std::string* out, unsigned long long most);
    FILE* in_ = nullptr;
    unsigned long long size_ = 0;
    BandHeader header_;
    PartFault fault_;
    long nextBand_ = 0;  // bands come in order, each once
};

// Whether a band's pieces inflate to exactly its rows of the picture, each
// filtered as this program filters, matching its checksum and length. With
// `above` (the RGB row over the band: zeros over the first), also whether its
// last row is what it says, and `above` becomes that row.
bool bandDecodes(const CompressedBand& band, long width, std::vector<unsigned char>* above);

}  // namespace glimra
