// The asset-information record on the wire: the one mapping of WEXAssetInfo's fields to bytes,
// shared by the daemon, which writes it as its answer to the asset-information request, and
// the client, which reads it. Encodings: u32/u64/float little-endian; KUID the 8-byte binary
// form; "text" a u32 byte count and the bytes; "name" a u32 length counting a NUL, the bytes
// and the NUL (0 alone for none); bool one byte.
//
//   #   field           encoding   what the daemon writes
//   1   asset           KUID       the KUID asked for
//   2   name            text       the asset's name in the user's language (its "username",
//                                  else its "name")
//   3   region          text       its "category-region" text
//   4   keywords        text       the user's keyword text for the asset
//   5   status A        8 bools    bits 0-7, each bool one bit (WEXAssetStatus):
//                                  0 unknown: the database does not hold the asset (then the
//                                    rest of the record is left at its defaults); 1 none (0);
//                                  2 locally modified; 3 installed locally; 4 built in;
//                                  5 installed from the content service; 6 offered by the
//                                  content service; 7 archived
//   6   status B        8 bools    0 open for edit; 1 faulty; 2 none (0); 3 missing
//                                  dependencies; 4 none (0); 5 its scripts must not be cached;
//                                  6, 7 none (0)
//   7   status C        3 bools    none (0)
//   8   author id       u32        the asset's author: its KUID's user id
//   9   author name     name       the name the author request would answer for that id
//                                  (0 alone when the daemon knows none)
//   10  era             text       its "category-era" text
//   11  file size       u32        the bytes of its installed folder's files ("filesize" of a
//                                  listing); 0xFFFFFFFF when it is not installed
//   12  category codes  name       its category list ("TR;TV;LOC"), from "category-class"
//   13  user name       text       its "username" text as written in its configuration
//   14  status D        3 bools    none (0)
//   15  rating          u32        0 to 5 as the user rated it, 5 once marked a favourite;
//                                  255 when unrated (the client keeps the low byte)
//   16  build           float      what GetAssetBuildVersion computes from its configuration
//   17  installed at    u64        seconds since 1970 (UTC) when it was installed, else 0
//   18  modified at     u64        seconds since 1970 (UTC) of its last change, else 0
//   19  parent          KUID       the asset it derives from, else the null KUID
//   20  build known     bool       1 when field 16 was computed from a configuration
//
// The request's mask names the groups the caller reads (1 names, 4 category texts, 8 status
// bits); the daemon may fill every field whatever the mask, and must always fill the KUID and
// the bits "unknown" and "built in", which the built-in query reads with the mask 0.
//
// Reading: a reply that ends early leaves each remaining field at its default (a bool false,
// so status bits then read as clear), and the record is read in full whatever the mask.
#pragma once

#include "assetdb/asset_info.h"

class TStream;

// Reads the record from the stream's position.
void WEXReadAssetInfo(TStream& stream, WEXAssetInfo& info);
// Writes the record; false when the stream did not take every byte.
bool WEXWriteAssetInfo(TStream& stream, const WEXAssetInfo& info);
