#include "common/digitface.h"

#include <QFontDatabase>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace fm {

namespace {

// One pixel at 12 pixels to the em is 100 units: every edge of the face lies
// on a pixel edge at that size.
constexpr int kPixel = 100;
constexpr int kUnitsPerEm = 12 * kPixel;
constexpr int kAscent = kUnitsPerEm * 8 / 10;
constexpr int kDescent = kUnitsPerEm * 2 / 10;

struct Glyph {
    char16_t code;
    int advance; // pixels
    // '#' is ink; the rows run from 7 pixels above the baseline (the top of
    // a digit) down to the row below the baseline.
    const char *rows[8];
};

// In the order of their codes.
const Glyph kGlyphs[] = {
    // Two rings and the stroke between them, each a pixel clear of the
    // others, in a cell of eight.
    {u'%', 8, {"###...#", "#.#..#.", "###.#..", "...#...", "..#.###", ".#..#.#", "#...###", "......."}},
    {u',', 3, {"..", "..", "..", "..", "..", ".#", ".#", "#."}},
    {u'-', 5, {"....", "....", "....", "####", "....", "....", "....", "...."}},
    {u'0', 6, {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", "....."}},
    {u'1', 6, {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."}},
    {u'2', 6, {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####", "....."}},
    {u'3', 6, {".###.", "#...#", "....#", "..##.", "....#", "#...#", ".###.", "....."}},
    {u'4', 6, {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#.", "....."}},
    {u'5', 6, {"#####", "#....", "####.", "....#", "....#", "#...#", ".###.", "....."}},
    {u'6', 6, {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###.", "....."}},
    {u'7', 6, {"#####", "....#", "...#.", "..#..", "..#..", ".#...", ".#...", "....."}},
    {u'8', 6, {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###.", "....."}},
    {u'9', 6, {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##..", "....."}},
};

const char *const kFamily = "Fennimarch Digits";

// A rectangle of ink in font units.
struct Box {
    int x0, y0, x1, y1;
};

Box Union(const Box &a, const Box &b)
{
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

// The ink of a glyph as rectangles: the runs of each row, a run that
// continues the same run of the row above taken into it.
std::vector<Box> Boxes(const Glyph &g)
{
    std::vector<Box> boxes;
    std::vector<size_t> open; // boxes that reach down to the row above
    for (int r = 0; r < 8; ++r) {
        const std::string row = g.rows[r];
        const int bottom = (6 - r) * kPixel; // row 0 lies 6 to 7 pixels above the baseline
        std::vector<size_t> next;
        for (size_t x = 0; x < row.size();) {
            if (row[x] != '#') {
                ++x;
                continue;
            }
            size_t end = x;
            while (end < row.size() && row[end] == '#') ++end;
            const int x0 = int(x) * kPixel, x1 = int(end) * kPixel;
            auto same = std::find_if(open.begin(), open.end(),
                                     [&](size_t i) { return boxes[i].x0 == x0 && boxes[i].x1 == x1; });
            if (same != open.end()) {
                boxes[*same].y0 = bottom;
                next.push_back(*same);
            } else {
                boxes.push_back(Box{x0, bottom, x1, bottom + kPixel});
                next.push_back(boxes.size() - 1);
            }
            x = end;
        }
        open = std::move(next);
    }
    return boxes;
}

class Bytes {
public:
    void U8(unsigned v) { data_.push_back(char(v & 0xFF)); }
    void U16(unsigned v) { U8(v >> 8), U8(v); }
    void S16(int v) { U16(unsigned(uint16_t(int16_t(v)))); }
    void U32(uint32_t v) { U16(v >> 16), U16(v & 0xFFFF); }
    void Append(const QByteArray &b) { data_.append(b); }
    void Pad4()
    {
        while (data_.size() % 4) U8(0);
    }
    qsizetype Size() const { return data_.size(); }
    QByteArray &Data() { return data_; }

private:
    QByteArray data_;
};

uint32_t Checksum(const QByteArray &table)
{
    uint32_t sum = 0;
    for (qsizetype i = 0; i < table.size(); i += 4) {
        uint32_t word = 0;
        for (qsizetype k = 0; k < 4; ++k)
            word = (word << 8) | (i + k < table.size() ? uint8_t(table[i + k]) : 0u);
        sum += word;
    }
    return sum;
}

// The binary-search fields of a table of count entries: the largest power
// of two not above count, and its exponent.
struct Search {
    unsigned power = 1, log2 = 0;
};

Search SearchOf(unsigned count)
{
    Search s;
    while (s.power * 2 <= count) s.power *= 2, ++s.log2;
    return s;
}

struct Outline {
    QByteArray glyf;
    std::vector<uint32_t> loca;
    std::vector<int> lsb;
    Box bounds{0, 0, 0, 0};
    unsigned maxPoints = 0, maxContours = 0;
};

Outline Glyphs()
{
    Outline o;
    Bytes glyf;
    o.loca.push_back(0);
    o.lsb.push_back(0); // .notdef: empty
    o.loca.push_back(0);
    for (const Glyph &g : kGlyphs) {
        const std::vector<Box> boxes = Boxes(g);
        Box bounds = boxes.front();
        for (const Box &b : boxes) bounds = Union(bounds, b);
        glyf.S16(int(boxes.size()));
        glyf.S16(bounds.x0), glyf.S16(bounds.y0), glyf.S16(bounds.x1), glyf.S16(bounds.y1);
        for (size_t i = 0; i < boxes.size(); ++i) glyf.U16(unsigned(i * 4 + 3));
        glyf.U16(0); // no instructions
        for (size_t i = 0; i < boxes.size() * 4; ++i) glyf.U8(0x01); // on-curve, 16-bit deltas
        // Each box clockwise from its top left corner.
        int x = 0, y = 0;
        for (const Box &b : boxes)
            for (int px : {b.x0, b.x1, b.x1, b.x0}) glyf.S16(px - x), x = px;
        for (const Box &b : boxes)
            for (int py : {b.y1, b.y1, b.y0, b.y0}) glyf.S16(py - y), y = py;
        glyf.Pad4();
        o.loca.push_back(uint32_t(glyf.Size()));
        o.lsb.push_back(bounds.x0);
        o.maxPoints = std::max(o.maxPoints, unsigned(boxes.size() * 4));
        o.maxContours = std::max(o.maxContours, unsigned(boxes.size()));
        o.bounds = &g == kGlyphs ? bounds : Union(o.bounds, bounds);
    }
    o.glyf = glyf.Data();
    return o;
}

QByteArray CmapTable()
{
    // Runs of consecutive codes with consecutive glyph numbers (glyph 1 is
    // the first of kGlyphs), then the closing segment.
    struct Segment {
        unsigned start, end;
        int delta;
    };
    std::vector<Segment> segments;
    unsigned glyph = 1;
    for (const Glyph &g : kGlyphs) {
        if (!segments.empty() && segments.back().end + 1 == g.code)
            segments.back().end = g.code;
        else
            segments.push_back({g.code, g.code, int(glyph) - int(g.code)});
        ++glyph;
    }
    segments.push_back({0xFFFF, 0xFFFF, 1});
    const unsigned count = unsigned(segments.size());
    const Search search = SearchOf(count);

    Bytes t;
    t.U16(0), t.U16(1);            // version, one subtable
    t.U16(3), t.U16(1), t.U32(12); // Windows, Unicode BMP
    t.U16(4), t.U16(16 + 8 * count), t.U16(0);
    t.U16(2 * count), t.U16(2 * search.power), t.U16(search.log2), t.U16(2 * (count - search.power));
    for (const Segment &s : segments) t.U16(s.end);
    t.U16(0);
    for (const Segment &s : segments) t.U16(s.start);
    for (const Segment &s : segments) t.U16(unsigned(uint16_t(s.delta)));
    for (size_t i = 0; i < segments.size(); ++i) t.U16(0);
    return t.Data();
}

QByteArray NameTable()
{
    const QString family = DigitFaceFamily();
    const std::vector<std::pair<unsigned, QString>> names = {
        {1, family}, {2, "Regular"}, {4, family}, {6, QString(family).remove(' ') + "-Regular"}};
    Bytes strings;
    Bytes t;
    t.U16(0), t.U16(unsigned(names.size())), t.U16(6 + 12 * unsigned(names.size()));
    for (const auto &[id, text] : names) {
        const qsizetype offset = strings.Size();
        for (QChar c : text) strings.U16(c.unicode());
        t.U16(3), t.U16(1), t.U16(0x0409), t.U16(id);
        t.U16(unsigned(strings.Size() - offset)), t.U16(unsigned(offset));
    }
    t.Append(strings.Data());
    return t.Data();
}

QByteArray Os2Table()
{
    Bytes t;
    t.U16(4);             // version
    t.S16(6 * kPixel);    // average width
    t.U16(400), t.U16(5); // regular, medium width
    t.U16(0);             // installable
    t.S16(6 * kPixel), t.S16(6 * kPixel), t.S16(0), t.S16(kPixel);     // subscript
    t.S16(6 * kPixel), t.S16(6 * kPixel), t.S16(0), t.S16(4 * kPixel); // superscript
    t.S16(kPixel), t.S16(3 * kPixel);                                   // strikeout
    t.S16(0);                                                           // family class
    for (int i = 0; i < 10; ++i) t.U8(0);                              // panose
    t.U32(1), t.U32(0), t.U32(0), t.U32(0);                            // Basic Latin
    t.U32(0x20202020);                                                  // vendor
    t.U16(0x0040);                                                      // regular
    t.U16(kGlyphs[0].code), t.U16(std::end(kGlyphs)[-1].code);
    t.S16(kAscent), t.S16(-kDescent), t.S16(0);
    t.U16(kAscent), t.U16(kDescent);
    t.U32(1), t.U32(0); // Latin 1
    t.S16(5 * kPixel), t.S16(7 * kPixel);
    t.U16(0), t.U16(' '), t.U16(1);
    return t.Data();
}

QByteArray Build()
{
    const Outline o = Glyphs();
    const unsigned glyphCount = unsigned(o.loca.size() - 1);

    Bytes head;
    head.U32(0x00010000), head.U32(0x00010000);
    head.U32(0); // checksum adjustment, set below
    head.U32(0x5F0F3CF5);
    head.U16(0x000B); // baseline at 0, left side bearing at 0, whole pixel sizes
    head.U16(kUnitsPerEm);
    for (int i = 0; i < 4; ++i) head.U32(0); // created, modified
    head.S16(o.bounds.x0), head.S16(o.bounds.y0), head.S16(o.bounds.x1), head.S16(o.bounds.y1);
    head.U16(0), head.U16(8), head.S16(2);
    head.S16(1), head.S16(0); // long offsets, glyph format 0

    int widest = 0;
    for (const Glyph &g : kGlyphs) widest = std::max(widest, g.advance * kPixel);
    Bytes hhea;
    hhea.U32(0x00010000);
    hhea.S16(kAscent), hhea.S16(-kDescent), hhea.S16(0);
    hhea.U16(unsigned(widest));
    hhea.S16(0), hhea.S16(0), hhea.S16(o.bounds.x1); // bearings, extent
    hhea.S16(1), hhea.S16(0), hhea.S16(0);
    for (int i = 0; i < 4; ++i) hhea.S16(0);
    hhea.S16(0), hhea.U16(glyphCount);

    Bytes hmtx;
    hmtx.U16(6 * kPixel), hmtx.S16(0); // .notdef
    for (size_t i = 0; i < std::size(kGlyphs); ++i)
        hmtx.U16(unsigned(kGlyphs[i].advance * kPixel)), hmtx.S16(o.lsb[i + 1]);

    Bytes maxp;
    maxp.U32(0x00010000), maxp.U16(glyphCount), maxp.U16(o.maxPoints), maxp.U16(o.maxContours);
    maxp.U16(0), maxp.U16(0), maxp.U16(2);
    // A nonzero instruction size keeps the auto-hinter away: the outlines
    // are already on the pixel grid.
    for (int i = 0; i < 5; ++i) maxp.U16(0);
    maxp.U16(1), maxp.U16(0), maxp.U16(0);

    Bytes loca;
    for (uint32_t offset : o.loca) loca.U32(offset);

    Bytes post;
    post.U32(0x00030000), post.U32(0), post.S16(-kPixel), post.S16(kPixel / 2);
    for (int i = 0; i < 5; ++i) post.U32(0);

    // Tables in the order of their tags.
    const std::vector<std::pair<const char *, QByteArray>> tables = {
        {"OS/2", Os2Table()}, {"cmap", CmapTable()}, {"glyf", o.glyf},       {"head", head.Data()},
        {"hhea", hhea.Data()}, {"hmtx", hmtx.Data()}, {"loca", loca.Data()}, {"maxp", maxp.Data()},
        {"name", NameTable()}, {"post", post.Data()}};
    const unsigned count = unsigned(tables.size());
    const Search search = SearchOf(count);

    Bytes file;
    file.U32(0x00010000), file.U16(count);
    file.U16(16 * search.power), file.U16(search.log2), file.U16(16 * (count - search.power));
    uint32_t offset = 12 + 16 * count;
    qsizetype headAt = 0;
    for (const auto &[tag, data] : tables) {
        for (int i = 0; i < 4; ++i) file.U8(uint8_t(tag[i]));
        file.U32(Checksum(data)), file.U32(offset), file.U32(uint32_t(data.size()));
        if (std::string(tag) == "head") headAt = offset;
        offset += uint32_t((data.size() + 3) / 4 * 4);
    }
    for (const auto &[tag, data] : tables) {
        file.Append(data);
        file.Pad4();
    }
    QByteArray &bytes = file.Data();
    const uint32_t adjustment = 0xB1B0AFBAu - Checksum(bytes);
    for (int i = 0; i < 4; ++i) bytes[headAt + 8 + i] = char(adjustment >> (24 - 8 * i));
    return bytes;
}

} // namespace

QString DigitFaceFamily() { return QString::fromLatin1(kFamily); }

QByteArray DigitFaceFile()
{
    static const QByteArray file = Build();
    return file;
}

bool RegisterDigitFace()
{
    static const bool registered = [] {
        if (QFontDatabase::addApplicationFontFromData(DigitFaceFile()) < 0) return false;
        // Drawn without smoothing, in the program's own font configuration
        // (the user's files are not touched): a glyph that a line of text
        // places between two pixels is then drawn on the nearer one, never
        // smeared over both into its neighbour.
        const QByteArray rule = "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
                                "<match target=\"font\"><test name=\"family\"><string>" +
                                DigitFaceFamily().toUtf8() +
                                "</string></test><edit name=\"antialias\" mode=\"assign\"><bool>false</bool></edit>"
                                "</match></fontconfig>";
        FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(), reinterpret_cast<const FcChar8 *>(rule.constData()),
                                       FcTrue);
        return true;
    }();
    return registered;
}

} // namespace fm
