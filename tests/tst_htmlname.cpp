#include "htmlname.h"

#include <QtTest>

class tst_HtmlName : public QObject
{
    Q_OBJECT

private slots:
    void writesName_data();
    void writesName();
};

void tst_HtmlName::writesName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("plain") << QByteArray("report.txt") << QByteArray("report.txt");
    QTest::newRow("ampersand plain") << QByteArray("a&b.txt") << QByteArray("a&b.txt");
    QTest::newRow("ampersand at the end") << QByteArray("a&") << QByteArray("a&");
    QTest::newRow("ampersand before a digit") << QByteArray("&1;") << QByteArray("&1;");
    QTest::newRow("unknown name, no semicolon") << QByteArray("&zz.txt") << QByteArray("&zz.txt");
    QTest::newRow("unknown name with semicolon") << QByteArray("&zz9;") << QByteArray("&amp;zz9;");
    QTest::newRow("entity-like name") << QByteArray("c&amp;d.txt") << QByteArray("c&amp;amp;d.txt");
    QTest::newRow("reference at the start") << QByteArray("&lt;lit.txt") << QByteArray("&amp;lt;lit.txt");
    QTest::newRow("numeric reference") << QByteArray("&#945;") << QByteArray("&amp;#945;");
    QTest::newRow("name read without semicolon") << QByteArray("x&copy.txt") << QByteArray("x&amp;copy.txt");
    QTest::newRow("such a name as a prefix") << QByteArray("a&notes.txt") << QByteArray("a&amp;notes.txt");
    QTest::newRow("upper-case such name") << QByteArray("&AMP") << QByteArray("&amp;AMP");
    QTest::newRow("names are case-sensitive") << QByteArray("&Amp") << QByteArray("&Amp");
    QTest::newRow("markup escaped") << QByteArray("<script>x</script>") << QByteArray("&lt;script&gt;x&lt;/script&gt;");
    QTest::newRow("quotes and blanks kept") << QByteArray("it's \"x\" ;") << QByteArray("it's \"x\" ;");
    QTest::newRow("e acute") << QByteArray("\xc3\xa9") << QByteArray("&#233;");
    QTest::newRow("top of Latin-1") << QByteArray("\xc3\xbf") << QByteArray("&#255;");
    QTest::newRow("U+0080") << QByteArray("\xc2\x80") << QByteArray("&#128;");
    QTest::newRow("last ASCII character kept") << QByteArray("\x7f") << QByteArray("\x7f");
    QTest::newRow("U+0100") << QByteArray("\xc4\x80") << QByteArray("&#256;");
    QTest::newRow("Greek") << QByteArray("αβγ") << QByteArray("&#945;&#946;&#947;");
    QTest::newRow("euro sign") << QByteArray("\xe2\x82\xac") << QByteArray("&#8364;");
    QTest::newRow("emoji") << QByteArray("\xf0\x9f\x98\x80") << QByteArray("&#128512;");
    QTest::newRow("largest code point") << QByteArray("\xf4\x8f\xbf\xbf") << QByteArray("&#1114111;");
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << QByteArray("a&#128;z");
    QTest::newRow("lone lead byte at end") << QByteArray("a\xc3") << QByteArray("a&#195;");
    QTest::newRow("lead byte before ASCII") << QByteArray("\xc3(") << QByteArray("&#195;(");
    QTest::newRow("Latin-1 e acute") << QByteArray("caf\xe9") << QByteArray("caf&#233;");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QByteArray("&#192;&#175;");
    QTest::newRow("overlong three bytes") << QByteArray("\xe0\x80\xaf") << QByteArray("&#224;&#128;&#175;");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QByteArray("&#237;&#160;&#128;");
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QByteArray("&#244;&#144;&#128;&#128;");
    QTest::newRow("invalid byte then Greek") << QByteArray("\xff" "α") << QByteArray("&#255;&#945;");
    QTest::newRow("truncated sequence then text") << QByteArray("\xe2\x82" "x") << QByteArray("&#226;&#130;x");
    QTest::newRow("control character kept") << QByteArray("a\nb\tc") << QByteArray("a\nb\tc");
    QTest::newRow("carriage return") << QByteArray("a\rb\r\n") << QByteArray("a&#13;b&#13;\n");
    QTest::newRow("mixed") << QByteArray("<é&α>") << QByteArray("&lt;&#233;&&#945;&gt;");
}

void tst_HtmlName::writesName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, written);

    std::string out = "before|";
    appendHtmlName(out, std::string_view(name.constData(), size_t(name.size())));
    QCOMPARE(QByteArray::fromStdString(out), "before|" + written);
}

QTEST_GUILESS_MAIN(tst_HtmlName)
#include "tst_htmlname.moc"
