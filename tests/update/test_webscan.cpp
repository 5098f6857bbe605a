#include "update/webscan.h"

#include <QElapsedTimer>
#include <QTest>

using namespace corvane;

namespace {
const QString Page = QStringLiteral("http://server/x/index.htm");
}

class TestWebScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fragment_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("result");

        const QString title = QStringLiteral("<html><title lang=\"en\">Hello</title></html>");
        QTest::newRow("no first marker: whole text")
            << QStringLiteral("a<b>c") << QString() << QStringLiteral("x") << QString() << true
            << QStringLiteral("a<b>c");
        QTest::newRow("empty text, no marker")
            << QString() << QString() << QString() << QString() << true << QString();
        QTest::newRow("title with an attribute")
            << title << QStringLiteral("<title") << QStringLiteral(">")
            << QStringLiteral("</title>") << true << QStringLiteral("Hello");
        QTest::newRow("second marker empty") << title << QStringLiteral("<title") << QString()
                                             << QStringLiteral("</title>") << false << QString();
        QTest::newRow("end marker empty") << title << QStringLiteral("<title")
                                          << QStringLiteral(">") << QString() << false << QString();
        QTest::newRow("first marker missing")
            << title << QStringLiteral("<body") << QStringLiteral(">") << QStringLiteral("</title>")
            << false << QString();
        QTest::newRow("second marker only before the first")
            << QStringLiteral("a>b<title c") << QStringLiteral("<title") << QStringLiteral(">")
            << QStringLiteral("c") << false << QString();
        QTest::newRow("end marker missing")
            << title << QStringLiteral("<title") << QStringLiteral(">") << QStringLiteral("</h1>")
            << false << QString();
        QTest::newRow("markers are case-sensitive")
            << QStringLiteral("<TITLE>Hi</TITLE>") << QStringLiteral("<title")
            << QStringLiteral(">") << QStringLiteral("</title>") << false << QString();
        QTest::newRow("first occurrences win")
            << QStringLiteral("<b>1</b><b>2</b>") << QStringLiteral("<b") << QStringLiteral(">")
            << QStringLiteral("</b>") << true << QStringLiteral("1");
        QTest::newRow("empty fragment is found")
            << QStringLiteral("<t></t>") << QStringLiteral("<t") << QStringLiteral(">")
            << QStringLiteral("</t>") << true << QString();
    }

    void fragment()
    {
        QFETCH(QString, text);
        QFETCH(QString, first);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, found);
        QFETCH(QString, result);
        const std::optional<QString> fragment = extractFragment(text, first, from, to);
        QCOMPARE(fragment.has_value(), found);
        if (found)
            QCOMPARE(*fragment, result);
    }

    void images_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("base");
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("expected");

        const QString gif = QStringLiteral("<p><img src=\"pics/a.GIF\" alt=\"\"></p>");
        const QStringList gifFound{QStringLiteral("HTTP://server/x/pics/a.GIF")};
        QTest::newRow("all") << gif << Page << int(itAll) << gifFound;
        QTest::newRow("gif filter") << gif << Page << int(itGIF) << gifFound;
        QTest::newRow("jpg filter drops a gif") << gif << Page << int(itJPG) << QStringList();
        QTest::newRow("png filter, lower case")
            << QStringLiteral("<IMG SRC=\"b.png\">") << Page << int(itPNG)
            << QStringList{QStringLiteral("HTTP://server/x/b.png")};
        QTest::newRow("tag and attribute in mixed case")
            << QStringLiteral("<iMg sRc=\"A.JpG\">") << Page << int(itJPG)
            << QStringList{QStringLiteral("HTTP://server/x/A.JpG")};
        QTest::newRow("single quotes: the next double-quoted SRC is taken")
            << QStringLiteral("<img src='a.gif'><p class=\"c\"> <img SRC=\"b.gif\">") << Page
            << int(itAll) << QStringList{QStringLiteral("HTTP://server/x/b.gif")};
        QTest::newRow("attribute found outside the tag")
            << QStringLiteral("<img alt=x> text SRC=\"later.gif\"") << Page << int(itAll)
            << QStringList{QStringLiteral("HTTP://server/x/later.gif")};
        QTest::newRow("no closing quote")
            << QStringLiteral("<img src=\"a.gif") << Page << int(itAll) << QStringList();
        QTest::newRow("blank before the quote is not SRC=\"")
            << QStringLiteral("<img src= \"a.gif\">") << Page << int(itAll) << QStringList();
        QTest::newRow("absolute, root-relative, duplicates")
            << QStringLiteral(
                   "<img src=\"http://o/1.gif\"><img src=\"/2.gif\"><img src=\"/2.gif\">")
            << Page << int(itAll)
            << QStringList{QStringLiteral("http://o/1.gif"), QStringLiteral("HTTP://server/2.gif"),
                           QStringLiteral("HTTP://server/2.gif")};
        QTest::newRow("https is not recognised as absolute")
            << QStringLiteral("<img src=\"https://cdn/a.gif\">") << Page << int(itAll)
            << QStringList{QStringLiteral("HTTP://server/x/https://cdn/a.gif")};
        QTest::newRow("no image tag")
            << QStringLiteral("<p src=\"a.gif\">") << Page << int(itAll) << QStringList();
    }

    void images()
    {
        QFETCH(QString, text);
        QFETCH(QString, base);
        QFETCH(int, type);
        QFETCH(QStringList, expected);
        QCOMPARE(scanImages(text, base, static_cast<TImageType>(type)), expected);
    }

    void links_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("linkType");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("quoted") << QStringLiteral("<a href=\"next.htm\">n</a>") << Page << QString()
                                << QStringList{QStringLiteral("HTTP://server/x/next.htm")};
        QTest::newRow("unquoted, a double quote later")
            << QStringLiteral("<a href=next.htm>n</a> <p class=\"c\">") << Page << QString()
            << QStringList{QStringLiteral("HTTP://server/x/next.htm")};
        QTest::newRow("unquoted, no double quote later")
            << QStringLiteral("<a href=next.htm>n</a>") << Page << QString() << QStringList();
        QTest::newRow("root-relative")
            << QStringLiteral("<A HREF=\"/top.htm\">") << Page << QString()
            << QStringList{QStringLiteral("HTTP://server/top.htm")};
        QTest::newRow("with :// kept unchanged")
            << QStringLiteral("<a href=\"https://o/p?q=1\">") << Page << QString()
            << QStringList{QStringLiteral("https://o/p?q=1")};
        QTest::newRow("type filter ignores case")
            << QStringLiteral("<a href=\"a.ZIP\"><a href=\"b.htm\"><a href=\"c.zip\">") << Page
            << QStringLiteral(".zip")
            << QStringList{QStringLiteral("HTTP://server/x/a.ZIP"),
                           QStringLiteral("HTTP://server/x/c.zip")};
        QTest::newRow("any tag starting with A")
            << QStringLiteral("<abbr title=\"t\">x</abbr><area href=\"map.htm\">") << Page
            << QString() << QStringList{QStringLiteral("HTTP://server/x/map.htm")};
        QTest::newRow("single quotes, nothing later")
            << QStringLiteral("<a href='x.htm'>") << Page << QString() << QStringList();
        QTest::newRow("empty target gives the folder")
            << QStringLiteral("<a href=\"\">") << Page << QString()
            << QStringList{QStringLiteral("HTTP://server/x/")};
        QTest::newRow("no HREF") << QStringLiteral("<a name=\"n\">") << Page << QString()
                                 << QStringList();
    }

    void links()
    {
        QFETCH(QString, text);
        QFETCH(QString, base);
        QFETCH(QString, linkType);
        QFETCH(QStringList, expected);
        QCOMPARE(scanHyperLinks(text, base, linkType), expected);
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected");

        QTest::newRow("base without path")
            << QStringLiteral("a.gif") << QStringLiteral("http://server")
            << QStringLiteral("HTTP://server/a.gif");
        QTest::newRow("folder of the base")
            << QStringLiteral("pics/a.GIF") << Page << QStringLiteral("HTTP://server/x/pics/a.GIF");
        QTest::newRow("base ending in a slash")
            << QStringLiteral("r") << QStringLiteral("http://server/")
            << QStringLiteral("HTTP://server/r");
        QTest::newRow("slash") << QStringLiteral("/top.htm") << Page
                               << QStringLiteral("HTTP://server/top.htm");
        QTest::newRow("backslash")
            << QStringLiteral("\\top.htm") << Page << QStringLiteral("HTTP://server\\top.htm");
        QTest::newRow("backslash folders")
            << QStringLiteral("r") << QStringLiteral("http://server\\d\\f.htm")
            << QStringLiteral("HTTP://server\\d\\r");
        QTest::newRow("HTTP: anywhere keeps the reference")
            << QStringLiteral("go hTtP:x") << Page << QStringLiteral("go hTtP:x");
        QTest::newRow("scheme of the base in any case")
            << QStringLiteral("r") << QStringLiteral("HtTp://Server/d/")
            << QStringLiteral("HTTP://Server/d/r");
        QTest::newRow("base without scheme")
            << QStringLiteral("r") << QStringLiteral("server/d/f.htm")
            << QStringLiteral("server/d/r");
        QTest::newRow("other scheme") << QStringLiteral("r") << QStringLiteral("ftp://h/d/f")
                                      << QStringLiteral("ftp://h/d/r");
        QTest::newRow("empty base") << QStringLiteral("r") << QString() << QStringLiteral("/r");
        QTest::newRow("empty reference") << QString() << Page << QStringLiteral("HTTP://server/x/");
        QTest::newRow("base shorter than a scheme")
            << QStringLiteral("r") << QStringLiteral("http") << QStringLiteral("http/r");
    }

    void resolve()
    {
        QFETCH(QString, reference);
        QFETCH(QString, base);
        QFETCH(QString, expected);
        QCOMPARE(resolveReference(reference, base), expected);
    }

    // A hostile page must not make a scan quadratic, in time or in what it keeps: a 16 MiB
    // body is allowed.
    void scansStayLinear_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("image tags without SRC") << QStringLiteral("<IMG").repeated(100'000);
        QTest::newRow("image sources without closing quote")
            << QStringLiteral("<img src=\"").repeated(50'000);
        QTest::newRow("link tags without HREF") << QStringLiteral("<a").repeated(100'000);
        QTest::newRow("links without end") << QStringLiteral("<a href=").repeated(50'000);
        QTest::newRow("links running to one end")
            << QStringLiteral("<A HREF=").repeated(50'000) + QStringLiteral(">\"");
        QTest::newRow("tiny references")
            << QStringLiteral("<a href=><img src=\"\">").repeated(MaxReferencesPerDocument + 1) +
                   QStringLiteral("\"");
    }

    void scansStayLinear()
    {
        QFETCH(QString, text);
        QElapsedTimer timer;
        timer.start();
        const QStringList found = scanImages(text, Page, itAll) + scanHyperLinks(text, Page, {});
        QVERIFY2(timer.elapsed() < 3000, "scan took too long");
        QVERIFY(found.size() <= 2 * MaxReferencesPerDocument);
        QVERIFY(found.join(QString()).size() <= text.size() + found.size() * Page.size());
    }
};

QTEST_GUILESS_MAIN(TestWebScan)
#include "test_webscan.moc"
