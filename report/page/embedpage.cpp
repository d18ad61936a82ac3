// Builds the browsable page's frame into a C++ header at build time:
//
//   velmora-embedpage HEADER FRAME --style CSS... --script JS...
//
// FRAME is the page's HTML with {{style}} and {{script}} where the style
// sheet and the script go, and {{style-hash}} and {{script-hash}} where the
// Content-Security-Policy names them by their SHA-256, so that the page runs
// its own script and applies its own style and nothing else. The style
// sheet is the CSS files joined; the script is the JS files joined in one
// function, in strict mode, so that they share their declarations and
// leave nothing behind in the page's global scope. Every other {{slot}} is
// left for the program to fill when it writes a page: HEADER declares the
// frame as pieces of text, each followed by the name of the slot after it.
// The files must be printable ASCII, since a page is.

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "velmora-embedpage: %s\n", message.c_str());
    std::exit(1);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot read " + path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte != '\n' && (byte < 0x20 || byte > 0x7E))
            fail(path + ": byte " + std::to_string(i) + " is not printable ASCII");
    }
    return text;
}

std::uint32_t rotate(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

std::array<std::uint8_t, 32> sha256(const std::string &text)
{
    static constexpr std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
        0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
        0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
        0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
        0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
        0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
        0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::string message = text;
    message.push_back(char(0x80));
    while (message.size() % 64 != 56)
        message.push_back('\0');
    const std::uint64_t bits = std::uint64_t(text.size()) * 8;
    for (int shift = 56; shift >= 0; shift -= 8)
        message.push_back(char(bits >> shift));
    for (std::size_t block = 0; block < message.size(); block += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            w[i] = 0;
            for (int j = 0; j < 4; ++j)
                w[i] = (w[i] << 8) | static_cast<unsigned char>(message[block + 4 * i + j]);
        }
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t v[8];
        std::copy(std::begin(h), std::end(h), v);
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotate(v[4], 6) ^ rotate(v[4], 11) ^ rotate(v[4], 25);
            const std::uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
            const std::uint32_t t1 = v[7] + s1 + choice + k[i] + w[i];
            const std::uint32_t s0 = rotate(v[0], 2) ^ rotate(v[0], 13) ^ rotate(v[0], 22);
            const std::uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            std::copy_backward(v, v + 7, v + 8);
            v[4] += t1;
            v[0] = t1 + s0 + majority;
        }
        for (int i = 0; i < 8; ++i)
            h[i] += v[i];
    }
    std::array<std::uint8_t, 32> digest;
    for (int i = 0; i < 32; ++i)
        digest[i] = std::uint8_t(h[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

// The source a Content-Security-Policy allows by its hash.
std::string hashSource(const std::string &text)
{
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto digest = sha256(text);
    std::string encoded;
    for (std::size_t i = 0; i < digest.size(); i += 3) {
        const std::uint32_t group = (digest[i] << 16) | ((i + 1 < digest.size() ? digest[i + 1] : 0) << 8)
                                    | (i + 2 < digest.size() ? digest[i + 2] : 0);
        for (std::size_t j = 0; j < 4; ++j)
            encoded.push_back(i + j <= digest.size() ? alphabet[(group >> (18 - 6 * j)) & 0x3F] : '=');
    }
    return "'sha256-" + encoded + "'";
}

void refuseEnd(const std::string &text, const std::string &end, const std::string &what)
{
    std::string lower = text;
    for (char &c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find(end) != std::string::npos)
        fail(what + " holds " + end + ", which would end its element early");
}

std::string literal(const std::string &text)
{
    if (text.find(")page\"") != std::string::npos)
        fail("the frame holds )page\"");
    return "R\"page(" + text + ")page\"";
}

struct Piece
{
    std::string text;
    std::string slot; // the slot after the text
};

// The frame cut at its slots.
std::vector<Piece> slotsOf(const std::string &frame)
{
    std::vector<Piece> pieces;
    std::size_t from = 0;
    for (std::size_t open; (open = frame.find("{{", from)) != std::string::npos;) {
        const std::size_t close = frame.find("}}", open);
        if (close == std::string::npos)
            fail("a slot in the frame is not closed");
        pieces.push_back({frame.substr(from, open - from), frame.substr(open + 2, close - open - 2)});
        from = close + 2;
    }
    pieces.push_back({frame.substr(from), {}});
    return pieces;
}

// Puts `content` in the one slot named `slot`, joining the pieces around it.
void fill(std::vector<Piece> &pieces, const std::string &slot, const std::string &content)
{
    const auto at = std::find_if(pieces.begin(), pieces.end(), [&](const Piece &piece) { return piece.slot == slot; });
    if (at == pieces.end() || std::count_if(at + 1, pieces.end(), [&](const Piece &piece) { return piece.slot == slot; }))
        fail("the frame must hold {{" + slot + "}} exactly once");
    at->text += content + (at + 1)->text;
    at->slot = (at + 1)->slot;
    pieces.erase(at + 1);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string usage = "usage: velmora-embedpage HEADER FRAME --style CSS... --script JS...";
    if (argc < 3)
        fail(usage);
    std::vector<Piece> pieces = slotsOf(readFile(argv[2]));
    std::string style;
    std::string script = "(function () {\n'use strict';\n\n";
    std::string *joining = nullptr;
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--style" || argument == "--script")
            joining = argument == "--style" ? &style : &script;
        else if (!joining)
            fail(usage);
        else
            joining->append(readFile(argument)).append("\n");
    }
    script += "})();\n";
    refuseEnd(style, "</style", "the style sheet");
    refuseEnd(script, "</script", "the script");
    fill(pieces, "style-hash", hashSource(style));
    fill(pieces, "script-hash", hashSource(script));
    fill(pieces, "style", style);
    fill(pieces, "script", script);
    // What the writer fills in each page (report/browsemapper.cpp).
    const std::vector<std::string> writerSlots = {"root", "folders", "folders-noun", "files", "files-noun", "data", "sizes"};
    for (const Piece &piece : pieces) {
        if (!piece.slot.empty() && std::find(writerSlots.begin(), writerSlots.end(), piece.slot) == writerSlots.end())
            fail("the frame holds {{" + piece.slot + "}}, which no page fills");
    }
    for (const char *once : {"data", "sizes"}) {
        if (std::count_if(pieces.begin(), pieces.end(), [&](const Piece &piece) { return piece.slot == once; }) != 1)
            fail(std::string("the frame must hold {{") + once + "}} exactly once");
    }

    std::ostringstream header;
    header << "// Made by velmora-embedpage from report/page/ at build time.\n#pragma once\n\n"
              "#include <string_view>\n\n"
              "// The page's text, piece by piece; after each piece, the slot that the\n"
              "// writer fills (none after the last).\n"
              "struct PagePiece\n{\n    std::string_view text;\n    std::string_view slot;\n};\n\n"
              "inline constexpr PagePiece browsePagePieces[] = {\n";
    for (const Piece &piece : pieces)
        header << "    {" << literal(piece.text) << ", \"" << piece.slot << "\"},\n";
    header << "};\n";
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << header.str();
    if (!out.flush())
        fail(std::string("cannot write ") + argv[1]);
    return 0;
}
