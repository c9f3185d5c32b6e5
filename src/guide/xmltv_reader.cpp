#include "guide/xmltv_reader.h"

#include <expat.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/character_references.h"

namespace qova::guide {
namespace {

constexpr std::size_t kPieceBytes = 256 * 1024;
// A guide channel has a handful of names; a hostile one is not allowed thousands.
constexpr std::size_t kMaxDisplayNames = 16;

enum class Field { None, DisplayName, Title, SubTitle, Description, Category, Episode };

std::size_t utf8Cut(std::string_view text, std::size_t max) {
    if (text.size() <= max)
        return text.size();
    std::size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

const char* attribute(const XML_Char** attributes, const char* name) {
    for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
        if (std::strcmp(a[0], name) == 0)
            return a[1];
    }
    return nullptr;
}

class Reader {
  public:
    Reader(ChannelMatcher& matcher, ReadWindow window, StringPool& pool, GuideProgrammes& out)
        : matcher_(matcher), window_(window), pool_(pool), out_(out) {}

    void start(const char* name, const XML_Char** attributes) {
        ++depth_;
        if (skipDepth_ != 0)
            return;
        if (depth_ == 1) {
            sawTv_ = std::strcmp(name, "tv") == 0;
            return;
        }
        if (depth_ == 2) {
            startTopLevel(name, attributes);
            return;
        }
        if (inChannel_ && std::strcmp(name, "display-name") == 0) {
            field(Field::DisplayName);
        } else if (inProgramme_) {
            startProgrammeField(name, attributes);
        }
    }

    void end() {
        if (field_ != Field::None && depth_ == fieldDepth_)
            endField();
        if (skipDepth_ == depth_)
            skipDepth_ = 0;
        if (depth_ == 2 && inChannel_) {
            matcher_.offer(channelId_, names_);
            inChannel_ = false;
        } else if (depth_ == 2 && inProgramme_) {
            inProgramme_ = false;
            keepProgramme();
        } else if (depth_ == 1 && sawTv_) {
            whole_ = true;
            // What follows </tv> is no part of the guide, however malformed.
            XML_StopParser(parser_, XML_FALSE);
        }
        --depth_;
    }

    void text(const char* data, int length) {
        if (field_ == Field::None)
            return;
        const std::size_t max =
            field_ == Field::Description ? kMaxDescriptionBytes : kMaxGuideTextBytes;
        if (text_.size() < max + 4)
            text_.append(data, std::min<std::size_t>(static_cast<std::size_t>(length), max + 4));
    }

    void skippedEntity(const char* name) {
        // &nbsp; and its kind where no DTD declares them: HTML's meaning, else left out.
        if (field_ != Field::None)
            platform::readCharacterReference(std::string(name) + ";", text_);
    }

    void setParser(XML_Parser parser) { parser_ = parser; }
    bool whole() const { return whole_; }
    bool sawTv() const { return sawTv_; }
    std::size_t kept() const { return kept_; }

  private:
    void startTopLevel(const char* name, const XML_Char** attributes) {
        if (std::strcmp(name, "channel") == 0) {
            const char* id = attribute(attributes, "id");
            inChannel_ = id != nullptr;
            channelId_ = id != nullptr ? id : "";
            names_.clear();
        } else if (std::strcmp(name, "programme") == 0) {
            const char* channel = attribute(attributes, "channel");
            const char* start = attribute(attributes, "start");
            const char* stop = attribute(attributes, "stop");
            // 0 stands for a time not given; no guide speaks of 1970.
            const UnixTime from = start != nullptr ? ParseGuideTime(start).value_or(0) : 0;
            const UnixTime to = stop != nullptr ? ParseGuideTime(stop).value_or(0) : 0;
            if (channel == nullptr || from == 0 || from >= window_.to ||
                (to != 0 && to <= window_.from) || (to == 0 && from < window_.from - 86400) ||
                !matcher_.offer(channel)) {
                skipDepth_ = depth_;
                return;
            }
            inProgramme_ = true;
            programme_ = ReadProgramme{};
            programme_.start = from;
            programme_.stop = to;
            programmeChannel_ = channel;
            categories_.clear();
            episodeSystem_.clear();
        } else {
            skipDepth_ = depth_;
        }
    }

    void startProgrammeField(const char* name, const XML_Char** attributes) {
        if (depth_ != 3)
            return;
        if (std::strcmp(name, "title") == 0 && programme_.title == 0) {
            field(Field::Title);
        } else if (std::strcmp(name, "sub-title") == 0 && programme_.subTitle == 0) {
            field(Field::SubTitle);
        } else if (std::strcmp(name, "desc") == 0 && programme_.description == 0) {
            field(Field::Description);
        } else if (std::strcmp(name, "category") == 0) {
            field(Field::Category);
        } else if (std::strcmp(name, "episode-num") == 0) {
            const char* system = attribute(attributes, "system");
            episodeSystem_ = system != nullptr ? system : "";
            // The words on screen win over the numbers, once had.
            if (programme_.episode == 0 || episodeSystem_ == "onscreen")
                field(Field::Episode);
        } else if (std::strcmp(name, "icon") == 0 && programme_.icon == 0) {
            if (const char* src = attribute(attributes, "src"))
                programme_.icon = pool_.intern(cut(src, kMaxGuideTextBytes * 4));
        }
    }

    static std::string_view cut(std::string_view text, std::size_t max) {
        return text.substr(0, utf8Cut(text, max));
    }

    void field(Field f) {
        field_ = f;
        fieldDepth_ = depth_;
        text_.clear();
    }

    void endField() {
        std::string_view value = text_;
        while (!value.empty() && std::strchr(" \t\r\n", value.front()) != nullptr)
            value.remove_prefix(1);
        while (!value.empty() && std::strchr(" \t\r\n", value.back()) != nullptr)
            value.remove_suffix(1);
        switch (field_) {
            case Field::DisplayName:
                if (names_.size() < kMaxDisplayNames)
                    names_.emplace_back(cut(value, kMaxGuideTextBytes));
                break;
            case Field::Title:
                programme_.title = pool_.intern(cut(value, kMaxGuideTextBytes));
                break;
            case Field::SubTitle:
                programme_.subTitle = pool_.intern(cut(value, kMaxGuideTextBytes));
                break;
            case Field::Description:
                programme_.description = pool_.add(cut(value, kMaxDescriptionBytes));
                break;
            case Field::Category:
                if (!value.empty() && categories_.size() < kMaxGuideTextBytes)
                    categories_.append(categories_.empty() ? "" : ", ").append(value);
                break;
            case Field::Episode:
                episode(value);
                break;
            case Field::None:
                break;
        }
        field_ = Field::None;
    }

    // xmltv_ns counts from 0: "1.4.0/1" is the second season's fifth episode.
    void episode(std::string_view value) {
        if (episodeSystem_ == "onscreen") {
            programme_.episode = pool_.intern(cut(value, kMaxGuideTextBytes));
            return;
        }
        if (episodeSystem_ != "xmltv_ns")
            return;
        std::string shown;
        const char* names[2] = {"S", "E"};
        for (int part = 0; part < 2; ++part) {
            const std::size_t dot = value.find('.');
            const std::string_view piece = value.substr(0, dot);
            std::string_view number = piece.substr(0, piece.find('/'));
            while (!number.empty() && number.front() == ' ')
                number.remove_prefix(1);
            long n = 0;
            bool ok = !number.empty() && number.size() < 6;
            for (const char c : number)
                ok = ok && c >= '0' && c <= '9' && ((n = n * 10 + (c - '0')), true);
            if (ok)
                shown.append(shown.empty() ? "" : " ")
                    .append(names[part])
                    .append(std::to_string(n + 1));
            value = dot == std::string_view::npos ? std::string_view() : value.substr(dot + 1);
        }
        if (!shown.empty())
            programme_.episode = pool_.intern(shown);
    }

    void keepProgramme() {
        if (!categories_.empty())
            programme_.categories = pool_.intern(cut(categories_, kMaxGuideTextBytes));
        out_[programmeChannel_].push_back(programme_);
        ++kept_;
    }

    XML_Parser parser_ = nullptr;
    ChannelMatcher& matcher_;
    ReadWindow window_;
    StringPool& pool_;
    GuideProgrammes& out_;
    int depth_ = 0;
    int skipDepth_ = 0;
    bool sawTv_ = false;
    bool whole_ = false;
    bool inChannel_ = false;
    bool inProgramme_ = false;
    std::string channelId_;
    std::vector<std::string> names_;
    std::string programmeChannel_;
    ReadProgramme programme_;
    std::string categories_;
    std::string episodeSystem_;
    Field field_ = Field::None;
    int fieldDepth_ = 0;
    std::string text_;
    std::size_t kept_ = 0;
};

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

ReadOutcome ReadXmltv(GuideInput& input, ChannelMatcher& matcher, ReadWindow window,
                      StringPool& pool, GuideProgrammes& programmes) {
    Reader reader(matcher, window, pool, programmes);
    const std::unique_ptr<XML_ParserStruct, ParserDeleter> owner(XML_ParserCreate(nullptr));
    XML_Parser parser = owner.get();
    reader.setParser(parser);
    XML_SetUserData(parser, &reader);
    // As if a DTD outside declared them: entities it does not know are skipped, not fatal.
    XML_UseForeignDTD(parser, XML_TRUE);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_UNLESS_STANDALONE);
    // The outside DTD is read as empty: nothing is ever fetched or opened for it.
    XML_SetExternalEntityRefHandler(
        parser,
        [](XML_Parser outer, const XML_Char* context, const XML_Char*, const XML_Char*,
           const XML_Char*) -> int {
            const std::unique_ptr<XML_ParserStruct, ParserDeleter> dtd(
                XML_ExternalEntityParserCreate(outer, context, nullptr));
            return dtd && XML_Parse(dtd.get(), "", 0, XML_TRUE) == XML_STATUS_OK;
        });
    XML_SetSkippedEntityHandler(parser, [](void* data, const XML_Char* name, int parameter) {
        if (parameter == 0)
            static_cast<Reader*>(data)->skippedEntity(name);
    });
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            static_cast<Reader*>(data)->start(name, attributes);
        },
        [](void* data, const XML_Char*) { static_cast<Reader*>(data)->end(); });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
        static_cast<Reader*>(data)->text(text, length);
    });
    ReadOutcome outcome;
    std::vector<char> piece(kPieceBytes);
    for (;;) {
        std::size_t count = 0;
        const GuideInput::Status status = input.read(piece.data(), piece.size(), count);
        if (status == GuideInput::Status::TooLarge || status == GuideInput::Status::Broken) {
            outcome.result = status == GuideInput::Status::TooLarge ? ReadOutcome::Result::TooLarge
                                                                    : ReadOutcome::Result::Broken;
            outcome.error = status == GuideInput::Status::TooLarge
                                ? "The guide is larger than 2 GiB."
                                : "The guide is cut short or damaged.";
            break;
        }
        const bool last = status == GuideInput::Status::End;
        const XML_Status parsed =
            XML_Parse(parser, piece.data(), static_cast<int>(count), last ? XML_TRUE : XML_FALSE);
        if (reader.whole())
            break;
        if (parsed == XML_STATUS_ERROR) {
            outcome.result =
                reader.sawTv() ? ReadOutcome::Result::Broken : ReadOutcome::Result::NotAGuide;
            outcome.error = std::string("The guide breaks off at line ") +
                            std::to_string(XML_GetCurrentLineNumber(parser)) + ": " +
                            XML_ErrorString(XML_GetErrorCode(parser)) + ".";
            break;
        }
        if (last) {
            outcome.result =
                reader.sawTv() ? ReadOutcome::Result::Broken : ReadOutcome::Result::NotAGuide;
            outcome.error = "The guide is cut short.";
            break;
        }
    }
    if (reader.whole()) {
        outcome.result = ReadOutcome::Result::Whole;
        outcome.error.clear();
    }
    outcome.programmesKept = reader.kept();
    return outcome;
}

}  // namespace qova::guide
