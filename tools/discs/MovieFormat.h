// The discs' movie files ("*.avi" by name only): an uncompressed 8-bit
// format of our own, written by tools/make_discs.py. All numbers are
// little-endian.
//
//   offset  size                  field
//   0       4                     magic "DSMV"
//   4       2                     width in pixels, a multiple of 4
//   6       2                     height in pixels
//   8       2                     frame count
//   10      2                     frames per second
//   12      32                    title, zero-padded (at most 31 characters)
//   44      768                   palette: 256 entries of red, green, blue
//   812     width*height*count    frames, one byte (palette index) per
//                                 pixel, rows top to bottom
#ifndef MOVIE_FORMAT_H
#define MOVIE_FORMAT_H

#include <stddef.h>

const size_t MOVIE_HEADER_SIZE = 812;
const size_t MOVIE_TITLE_OFFSET = 12;
const size_t MOVIE_TITLE_SIZE = 32;
const size_t MOVIE_PALETTE_OFFSET = 44;
const unsigned MOVIE_MAX_WIDTH = 640;
const unsigned MOVIE_MAX_HEIGHT = 480;
const unsigned MOVIE_MAX_FRAMES = 2000;
const unsigned MOVIE_MAX_RATE = 60;

#endif
