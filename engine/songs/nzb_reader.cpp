#include "songs/nzb_reader.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace corvane {
namespace {

// Namespaced names reach the handlers as "<namespace> <local name>".
constexpr char kNamespaceSeparator = ' ';
// Text gathered for one <group> or <segment>; far more than any valid name or message-id, with
// the blanks of a pretty-printed file around it.
constexpr std::size_t kMaxElementText = 4096;

enum class Place { Outside, Nzb, File, Groups, Group, Segments, Segment };

std::string_view localName(const XML_Char *name) {
    const std::string_view full(name);
    const std::size_t separator = full.rfind(kNamespaceSeparator);
    return separator == std::string_view::npos ? full : full.substr(separator + 1);
}

const XML_Char *attribute(const XML_Char **attributes, std::string_view wanted) {
    for (std::size_t i = 0; attributes[i]; i += 2)
        if (localName(attributes[i]) == wanted) return attributes[i + 1];
    return nullptr;
}

bool isXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isXmlBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isXmlBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A decimal number of digits only, up to `maximum`; false for anything else.
bool readDecimal(const XML_Char *text, uint64_t maximum, uint64_t &value) {
    if (!text) return false;
    const std::string_view digits = trimmed(text);
    if (digits.empty()) return false;
    value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > maximum) return false;
    }
    return true;
}

// Blanks, control characters and DEL would split or end the command the id is sent in.
bool holdsBlankOrControl(std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F) return true;
    }
    return false;
}

}  // namespace

struct NzbReader::State {
    XML_Parser parser = nullptr;
    NzbList list;
    std::string error;
    Place place = Place::Outside;
    // Depth inside an element this reader does not know (or one that holds no element of ours).
    std::size_t skipped = 0;
    bool rootSeen = false;
    bool textTooLong = false;
    std::string text;

    // Stops the parser with the first refusal; later ones are not recorded.
    void refuse(std::string reason) {
        if (!error.empty()) return;
        error = std::move(reason);
        XML_StopParser(parser, XML_FALSE);
    }

    std::string atLine() const { return " (line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ")"; }

    std::string notXml(XML_Error code) const {
        return "it is not XML (" + std::string(XML_ErrorString(code)) + ", line " +
               std::to_string(XML_GetCurrentLineNumber(parser)) + ")";
    }

    void startElement(const XML_Char *name, const XML_Char **attributes) {
        const std::string_view local = localName(name);
        if (skipped > 0) {
            ++skipped;
            return;
        }
        switch (place) {
            case Place::Outside:
                rootSeen = true;
                if (local != "nzb")
                    return refuse("it is XML but not an NZB file (its root element is <" + std::string(local) + ">)");
                place = Place::Nzb;
                return;
            case Place::Nzb:
                if (local == "file") return startFile(attributes);
                break;
            case Place::File:
                if (local == "groups") {
                    place = Place::Groups;
                    return;
                }
                if (local == "segments") {
                    place = Place::Segments;
                    return;
                }
                break;
            case Place::Groups:
                if (local == "group") return startText(Place::Group);
                break;
            case Place::Segments:
                if (local == "segment") return startSegment(attributes);
                break;
            case Place::Group:
            case Place::Segment: break;
        }
        ++skipped;
    }

    void startFile(const XML_Char **attributes) {
        if (list.files.size() == kMaxNzbFiles) return refuse("it lists more than 100,000 files");
        NzbFile file;
        if (const XML_Char *subject = attribute(attributes, "subject"))
            file.subject.assign(subject, strnlen(subject, kMaxNzbSubject));
        // Up to the year 9999: every date that can be written as a date.
        uint64_t date = 0;
        if (readDecimal(attribute(attributes, "date"), 253402300799ull, date)) file.date = static_cast<int64_t>(date);
        file.firstSegment = list.segments.size();
        list.files.push_back(std::move(file));
        place = Place::File;
    }

    void startSegment(const XML_Char **attributes) {
        uint64_t number = 0;
        if (!readDecimal(attribute(attributes, "number"), UINT32_MAX, number))
            return refuse("a segment has no valid number" + atLine());
        NzbSegment segment;
        segment.number = static_cast<uint32_t>(number);
        list.segments.push_back(segment);
        startText(Place::Segment);
    }

    void startText(Place textPlace) {
        text.clear();
        textTooLong = false;
        place = textPlace;
    }

    void characters(const XML_Char *data, int length) {
        if (skipped > 0 || (place != Place::Group && place != Place::Segment)) return;
        if (text.size() + static_cast<std::size_t>(length) > kMaxElementText) {
            textTooLong = true;
            return;
        }
        text.append(data, static_cast<std::size_t>(length));
    }

    void endElement() {
        if (skipped > 0) {
            --skipped;
            return;
        }
        switch (place) {
            case Place::Group:
                endGroup();
                place = Place::Groups;
                return;
            case Place::Segment:
                endSegment();
                place = Place::Segments;
                return;
            case Place::Groups:
            case Place::Segments: place = Place::File; return;
            case Place::File: endFile(); return;
            case Place::Nzb: place = Place::Outside; return;
            case Place::Outside: return;
        }
    }

    void endGroup() {
        NzbFile &file = list.files.back();
        if (!file.firstGroup.empty()) return;  // only the first group is used
        const std::string_view name = trimmed(text);
        if (textTooLong || name.size() > kMaxNzbGroupName)
            return refuse("a newsgroup name is longer than 255 characters" + atLine());
        if (name.empty()) return refuse("a newsgroup name is empty" + atLine());
        if (holdsBlankOrControl(name))
            return refuse("a newsgroup name holds a blank or a control character" + atLine());
        file.firstGroup.assign(name);
    }

    void endSegment() {
        std::string_view id = trimmed(text);
        // Some writers keep the angle brackets; the list holds the id without them.
        if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
        if (textTooLong || id.size() > kMaxNzbMessageId)
            return refuse("a message-id is longer than 250 characters" + atLine());
        if (id.empty()) return refuse("a segment has no message-id" + atLine());
        if (holdsBlankOrControl(id)) return refuse("a message-id holds a blank or a control character" + atLine());
        if (id.find_first_of("<>") != std::string_view::npos)
            return refuse("a message-id holds an angle bracket" + atLine());
        if (id.find('@') == std::string_view::npos) return refuse("a message-id has no @" + atLine());
        if (list.messageIds.size() + id.size() > UINT32_MAX) return refuse("it is too large");
        NzbSegment &segment = list.segments.back();
        segment.idOffset = static_cast<uint32_t>(list.messageIds.size());
        segment.idLength = static_cast<uint32_t>(id.size());
        list.messageIds.append(id);
    }

    void endFile() {
        NzbFile &file = list.files.back();
        if (file.firstGroup.empty()) return refuse("a file lists no newsgroup" + atLine());
        file.segmentCount = list.segments.size() - file.firstSegment;
        place = Place::Nzb;
    }
};

namespace {

NzbReader::State &stateOf(void *userData) { return *static_cast<NzbReader::State *>(userData); }

void XMLCALL onStart(void *userData, const XML_Char *name, const XML_Char **attributes) {
    stateOf(userData).startElement(name, attributes);
}

void XMLCALL onEnd(void *userData, const XML_Char *) { stateOf(userData).endElement(); }

void XMLCALL onCharacters(void *userData, const XML_Char *data, int length) {
    stateOf(userData).characters(data, length);
}

// An NZB needs no entity of its own. Refusing every declaration stops "billion laughs" files,
// whose nested entities would expand a few hundred bytes into gigabytes, before any expansion.
void XMLCALL onEntityDeclaration(void *userData, const XML_Char *, int, const XML_Char *, int, const XML_Char *,
                                 const XML_Char *, const XML_Char *, const XML_Char *) {
    stateOf(userData).refuse("it declares entities, which an NZB file never does");
}

// A reference to an entity that no read declaration defines (the DOCTYPE's external DTD is never
// fetched): its text is unknown, so the file cannot be read faithfully.
void XMLCALL onSkippedEntity(void *userData, const XML_Char *name, int) {
    NzbReader::State &state = stateOf(userData);
    state.refuse("it uses the undefined entity &" + std::string(name) + ";" + state.atLine());
}

}  // namespace

NzbReader::NzbReader() : state_(std::make_unique<State>()) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
    if (!parser) throw std::bad_alloc();
    state_->parser = parser;
    XML_SetUserData(parser, state_.get());
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onCharacters);
    XML_SetEntityDeclHandler(parser, onEntityDeclaration);
    XML_SetSkippedEntityHandler(parser, onSkippedEntity);
    // No external DTD or parameter entity is ever read: the DOCTYPE line of an NZB names a DTD on
    // a web site that went away long ago, and a file must not make the reader open other files.
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

NzbReader::~NzbReader() { XML_ParserFree(state_->parser); }

bool NzbReader::feed(std::string_view bytes) {
    State &state = *state_;
    if (!state.error.empty()) return false;
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), INT_MAX);
        if (XML_Parse(state.parser, bytes.data(), static_cast<int>(piece), XML_FALSE) != XML_STATUS_OK) break;
        bytes.remove_prefix(piece);
    }
    if (state.error.empty() && XML_GetErrorCode(state.parser) != XML_ERROR_NONE) {
        const XML_Error code = XML_GetErrorCode(state.parser);
        if (code == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
        state.error = state.notXml(code);
    }
    return state.error.empty();
}

bool NzbReader::finish() {
    State &state = *state_;
    if (!state.error.empty()) return false;
    if (XML_Parse(state.parser, "", 0, XML_TRUE) != XML_STATUS_OK && state.error.empty()) {
        const XML_Error code = XML_GetErrorCode(state.parser);
        if (code == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
        state.error = !state.rootSeen && code == XML_ERROR_NO_ELEMENTS
                          ? std::string("it is empty or holds no XML element")
                          : state.notXml(code);
    }
    if (state.error.empty() && state.list.files.empty()) state.error = "it lists no files";
    return state.error.empty();
}

const std::string &NzbReader::error() const { return state_->error; }

NzbList &NzbReader::list() { return state_->list; }

bool readNzb(std::string_view text, NzbList &list, std::string &error) {
    NzbReader reader;
    const bool read = reader.feed(text) && reader.finish();
    error = reader.error();
    list = std::move(reader.list());
    return read;
}

}  // namespace corvane
