// Fuzz target: a protocol file loaded by a table-driven driver, then each of its steps built. A
// file loads or is refused with a conversion error that names its place; a loaded step builds,
// or refuses a counter that is no number.
#include <analysers/msgparser.h>
#include <support/fuzz_support.h>

namespace {

class Parser : public TParser
{
public:
    using TParser::TParser;

protected:
    void AppendChecksum(protocol::TResult& Value) override { Value.AppendData("CS"); }
    void CalcSpecialFields(protocol::TActionsList&, protocol::TFieldsList&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Scratch scratch;
    const QString file = scratch.path(QStringLiteral("fuzz.prt"));
    fuzz::writeFile(file, QByteArray(reinterpret_cast<const char*>(data),
                                     qsizetype(std::min<std::size_t>(size, 16 * 1024))));
    std::unique_ptr<Parser> parser;
    try {
        parser = TDriver::New<Parser>(file, std::vector<TMsgFldInfo>{}, std::vector<TRepFldInfo>{});
    } catch (const EConvertError& e) {
        if (!e.message().startsWith(QStringLiteral("Protocol file \"%1\", line ").arg(file)))
            fuzz::fail("protocolfile", QStringLiteral("refused without its place: ") + e.message());
        return 0;
    }
    for (const protocol::TFldInfo& field : parser->Fields) {
        if (field.Values.IsEmpty() || !field.Persistent)
            fuzz::fail("protocolfile", QStringLiteral("a preset field without a value"));
    }
    for (int i = 0; i < parser->Commands.Count(); ++i) {
        try {
            parser->BuildCommand(i);
        } catch (const EConvertError&) {
            // a counter that is no number
        }
    }
    return 0;
}
