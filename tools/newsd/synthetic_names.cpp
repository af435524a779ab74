#include "synthetic_names.h"

namespace harbeat::newsd::names {

const std::string_view kArtists[64] = {
    "The Velvet Lanterns", "Marisa Okonkwo",      "Blue Harbor Quartet", "Daniel Ferreira",  "Static Orchard",
    "The Copper Kites",    "Helena Vasquez",      "Northern Signal",     "Juniper Road",     "Kofi Mensah Trio",
    "Silver Parade",       "Anna-Lena Berg",      "The Midnight Ferry",  "Glass Cathedral",  "Rico Santamaria",
    "Paper Satellites",    "Elm Street Brass",    "Yuki Tanabe",         "Crimson Meadow",   "The Lonesome Pines",
    "Orla Fitzgerald",     "Neon Cassette",       "Thunder Valley",      "Moss & Marrow",    "Leon Abernathy",
    "The Harbor Lights",   "Sapphire Junction",   "Ivo Petrovic Band",   "Wildflower Choir", "Gravel & Gold",
    "Camille Durand",      "The Night Owls",      "Iron Lantern",        "Benny Castellano", "Seven Rivers",
    "Lotus Engine",        "Margot Lindqvist",    "The Autumn Drive",    "Desert Radio",     "Hollow Pines",
    "Teodor Nowak",        "Echo Boulevard",      "The Rusty Anchors",   "Priya Raman",      "Cobalt Skyline",
    "Mason Delacroix",     "Velvet Underpass",    "Ghost Orchestra",     "Ruby Calloway",    "The Morning Tides",
    "Quiet Avalanche",     "Lars Henriksen",      "Golden Hour Club",    "Stella Marchetti", "The Paper Boats",
    "Midnight Tram",       "Odessa Blackwood",    "Lantern Hill Band",   "Nikolai Zhukov",   "Harvest Moon Six",
    "The Bright Avenue",   "Salt Creek Ramblers", "Ines Carvalho",       "Winter Orchard"};

const std::string_view kTitles[64] = {"Letters From The Coast",
                                      "Midnight Train",
                                      "Summer Never Ends",
                                      "Broken Compass",
                                      "Under The Old Bridge",
                                      "Paper Hearts",
                                      "Slow Dance In Winter",
                                      "City Of Lights",
                                      "Running Out Of Time",
                                      "The Last Waltz",
                                      "Blue Morning",
                                      "Hold On Tight",
                                      "Northern Skies",
                                      "Dancing On The Ceiling",
                                      "River Song",
                                      "Silver Lining",
                                      "Come Back Home",
                                      "Falling Leaves",
                                      "Electric Dreams",
                                      "Long Way Down",
                                      "Whispering Pines",
                                      "Cold Coffee Blues",
                                      "Wild Horses Run",
                                      "Streetlight Serenade",
                                      "Echoes Of You",
                                      "Sunday Afternoon",
                                      "Golden Years",
                                      "Borrowed Time",
                                      "Rain On The Roof",
                                      "Shadows And Smoke",
                                      "Highway Nights",
                                      "Paper Moon Rising",
                                      "Stay Awhile",
                                      "The Open Road",
                                      "Candlelight",
                                      "Lost In The Static",
                                      "Harbour Lullaby",
                                      "Fireflies",
                                      "Neon Heartbeat",
                                      "Between The Lines",
                                      "Tangled Wires",
                                      "Morning Glory Waltz",
                                      "One More Chance",
                                      "Velvet Evening",
                                      "Ghost Town Radio",
                                      "Crossing The River",
                                      "Autumn In The City",
                                      "Satellite Love",
                                      "The Quiet Hours",
                                      "Starlight Express",
                                      "Walking In Circles",
                                      "Mountain High",
                                      "Ballad Of The Sea",
                                      "Sweet Surrender",
                                      "Glass Houses",
                                      "Dust And Diamonds",
                                      "Thunder Road Home",
                                      "Cherry Blossom Time",
                                      "Night Shift",
                                      "Waiting For Spring",
                                      "Hearts On Fire",
                                      "Little Red Wagon",
                                      "Carousel",
                                      "Goodnight Moonlight"};

const std::string_view kVersions[8] = {"Live",   "Remastered", "Demo",   "Acoustic",
                                       "Single", "Radio Edit", "Studio", "Bootleg"};

const std::string_view kPosters[16] = {
    "mp3collector", "vinylrescue",  "jazzcat",  "oldtimer",    "tapeswapper", "radiofan",     "basement77", "nightowl",
    "soundhound",   "recordkeeper", "bluesman", "ftp_refugee", "waveform",    "crate.digger", "hifi.jim",   "musicbox"};

const std::string_view kPosterDomains[8] = {"example.com",  "example.net",     "example.org",  "news.example",
                                            "mail.example", "posters.example", "host.example", "isp.example"};

const std::string_view kGroupHierarchies[8] = {"alt.binaries.sounds.", "alt.music.", "rec.music.", "alt.binaries.",
                                               "comp.music.",          "misc.",      "de.alt.",    "uk.rec."};

const std::string_view kGroupTopics[16] = {"mp3",    "jazz",    "blues", "classical", "country", "folk",
                                           "metal",  "rock",    "pop",   "radio",     "soul",    "punk",
                                           "reggae", "ambient", "disco", "oldies"};

const std::string_view kGroupWords[32] = {"live",    "rare",   "requests", "discuss",  "d",      "bootlegs", "vinyl",
                                          "tapes",   "1960s",  "1970s",    "1980s",    "1990s",  "2000s",    "lossless",
                                          "remix",   "covers", "demos",    "artists",  "charts", "misc",     "reviews",
                                          "collect", "studio", "session",  "unsigned", "trade",  "archive",  "history",
                                          "chat",    "news",   "tech",     "video"};

}  // namespace harbeat::newsd::names
