// Every window and dialog of the program, with the fonts the program gets:
// no label, button, check box, group title or themed caption needs more room
// than it has, for every text it can show.
#include "app/app_fonts.h"
#include "app/form_principal.h"
#include "app/kr_database_formconnect.h"
#include "app/session_view.h"
#include "engine/failure_text.h"
#include "engine/reconciliation.h"
#include "support/connect_form.h"
#include "system/app_env.h"
#include "system/kr_message.h"
#include "turnstile/mysql_connection.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_dialog_form.h"
#include "uikit/kr_error_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

#ifdef Q_OS_WIN
#include <QLibrary>
#endif

namespace {

QString Name(const QWidget *w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

// Why a text does not fit, or nothing.
QString LabelProblem(const QLabel *label)
{
    if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
        return {};
    const int margin = label->margin();
    const QRect space = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    const QFontMetrics metrics(label->font());
    const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
    const QRect needed = metrics.boundingRect(space, flags, label->text());
    if (needed.width() <= space.width() && needed.height() <= space.height())
        return {};
    return QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
        .arg(Name(label), label->text())
        .arg(needed.width())
        .arg(needed.height())
        .arg(space.width())
        .arg(space.height());
}

// The style's width for the text with its icon or indicator; in height the
// line of text itself (a style's indicator may be taller than the design's
// row and still leave the text whole).
QString SizeHintProblem(const QWidget *w, const QString &text)
{
    const QSize needed(w->sizeHint().width(), QFontMetrics(w->font()).height());
    if (needed.width() <= w->width() && needed.height() <= w->height())
        return {};
    return QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
        .arg(Name(w), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(w->width())
        .arg(w->height());
}

QString GroupTitleProblem(const QGroupBox *box)
{
    // Some styles draw the title bold: measured bold, whatever the style.
    QFont bold = box->font();
    bold.setBold(true);
    const int needed = QFontMetrics(bold).horizontalAdvance(box->title()) + 16;
    if (needed <= box->width())
        return {};
    return QStringLiteral("%1 \"%2\": needs %3, has %4").arg(Name(box), box->title()).arg(needed).arg(box->width());
}

QString ThemedButtonProblem(const TKRButton *button)
{
    const QString text = button->DisplayCaption();
    if (text.isEmpty())
        return {};
    const QFontMetrics metrics(button->font());
    const QSize textSize(metrics.horizontalAdvance(text), metrics.height());
    const QSize glyph = button->Glyph().size();
    const auto where = TKRButton::LayoutContent(button->size(), textSize, glyph, button->GlyphPos(),
                                                button->ThemeBorderWidth(), true, true);
    QRect used(where.caption, textSize);
    if (!glyph.isEmpty())
        used |= QRect(where.glyph, glyph);
    const int border = button->ThemeBorderWidth();
    const QRect inside = button->rect().adjusted(border, border, -border, -border);
    if (inside.contains(used))
        return {};
    return QStringLiteral("%1 \"%2\": draws over %3,%4 %5x%6, has %7x%8")
        .arg(Name(button), text)
        .arg(used.x())
        .arg(used.y())
        .arg(used.width())
        .arg(used.height())
        .arg(inside.width())
        .arg(inside.height());
}

QString ThemedPanelProblem(const TKRPanel *panel)
{
    if (panel->Caption().isEmpty())
        return {};
    const QFontMetrics metrics(panel->font());
    const int border = panel->ThemeBorderWidth();
    const int needed = metrics.horizontalAdvance(panel->Caption()) + 2 * border;
    if (needed <= panel->width() && metrics.height() <= panel->height())
        return {};
    return QStringLiteral("%1 \"%2\": needs %3, has %4").arg(Name(panel), panel->Caption()).arg(needed).arg(panel->width());
}

// The ink a text leaves in black on white.
qint64 Ink(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 4, metrics.height() + 4, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(2, 2 + metrics.ascent(), text);
    painter.end();
    qint64 ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            ink += 255 - line[x];
    }
    return ink;
}

// The accent of a capital drawn above the label's edge, which cuts it off
// (a face whose ascent leaves the marks out, placed at the label's top).
QString AccentProblem(const QLabel *label)
{
    const QFontMetrics metrics(label->font());
    int above = 0;
    QChar highest;
    for (const QChar c : label->text()) {
        if (!c.isUpper() || c.decomposition().isEmpty())
            continue;
        if (const int top = -metrics.tightBoundingRect(QString(c)).top(); top > above) {
            above = top;
            highest = c;
        }
    }
    if (highest.isNull())
        return {};
    const int margin = label->margin();
    const QRect space = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
    const int baseline = metrics.boundingRect(space, flags, label->text()).top() + metrics.ascent();
    if (baseline - above >= 0)
        return {};
    return QStringLiteral("%1 \"%2\": the accent of %3 is cut %4 pixels above the label (%5)")
        .arg(Name(label), label->text(), QString(highest))
        .arg(above - baseline)
        .arg(QFontInfo(label->font()).family());
}

#ifdef Q_OS_WIN
bool UnderWine()
{
    // Not through windows.h: its MulDiv clashes with the painter's own.
    return QLibrary::resolve(QStringLiteral("ntdll"), "wine_get_version") != nullptr;
}
#endif

// A face that draws its bold at its regular weight.
QString BoldProblem(const QWidget *w, const QString &text)
{
    if (!w->font().bold() || text.trimmed().isEmpty())
        return {};
#ifdef Q_OS_WIN
    // The faces the Wine prefix stands in for Arial and Tahoma (Liberation
    // Sans by Arial's name, Wine's own Tahoma) draw bold with the regular
    // glyphs there; Windows' own faces have a real bold.
    if (UnderWine())
        return {};
#endif
    QFont regular = w->font();
    regular.setBold(false);
    const QString sample = text.left(40);
    // A real bold has clearly thicker strokes: 1.5 to 1.8 times the ink.
    const qint64 bold = Ink(w->font(), sample);
    const qint64 plain = Ink(regular, sample);
    if (bold * 10 >= plain * 12)
        return {};
    return QStringLiteral("%1 \"%2\": drawn in bold with %3 of the regular's %4 ink (%5)")
        .arg(Name(w), sample)
        .arg(bold)
        .arg(plain)
        .arg(QFontInfo(w->font()).family());
}

// Every text of the window that is shown, measured against its space.
QStringList CutTexts(QWidget *window)
{
    QStringList problems;
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (!w->isVisibleTo(window))
            continue;
        QString problem;
        if (auto *label = qobject_cast<QLabel *>(w))
            problem = LabelProblem(label);
        else if (auto *check = qobject_cast<QCheckBox *>(w))
            problem = SizeHintProblem(check, check->text());
        else if (auto *push = qobject_cast<QPushButton *>(w))
            problem = SizeHintProblem(push, push->text());
        else if (auto *tool = qobject_cast<QToolButton *>(w); tool && !tool->text().isEmpty())
            problem = SizeHintProblem(tool, tool->text());
        else if (auto *group = qobject_cast<QGroupBox *>(w))
            problem = GroupTitleProblem(group);
        else if (auto *themed = qobject_cast<TKRButton *>(w))
            problem = ThemedButtonProblem(themed);
        else if (auto *panel = qobject_cast<TKRPanel *>(w))
            problem = ThemedPanelProblem(panel);
        if (problem.isEmpty()) {
            if (auto *label = qobject_cast<QLabel *>(w); label && label->textFormat() != Qt::RichText) {
                problem = AccentProblem(label);
                if (problem.isEmpty())
                    problem = BoldProblem(label, label->text());
            } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
                problem = BoldProblem(button, button->text());
            }
        }
        if (!problem.isEmpty())
            problems << window->windowTitle() + QStringLiteral(": ") + problem;
    }
    return problems;
}

bool Shown(QWidget *window)
{
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

MessageRequest Request(TDialogKind kind, const QString &title, const QString &text)
{
    MessageRequest r;
    r.kind = kind;
    r.title = title;
    r.text = text;
    return r;
}

} // namespace

class TestTextsFit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void theDesignFacesAreThere();
    void mainWindowInEveryState();
    void connectDialogCollapsedAndExpanded();
    void messageDialogOfEveryKind_data();
    void messageDialogOfEveryKind();
    void failureBox();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTextsFit::initTestCase()
{
#ifdef Q_OS_WIN
    // There the offscreen platform measures with FreeType and the fonts in
    // Qt's own folder, not with the system's faces the program draws with.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QSKIP("the texts are measured with the Windows platform (-platform windows), which has the system's fonts");
#endif
    UseDesignFonts();
    TFrmPrincipal::SetTrayAvailableForTesting(true);
}

void TestTextsFit::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    SetExecutableFolderForTesting(m_dir->path());
}

void TestTextsFit::cleanup()
{
    SetExecutableFolderForTesting(QString());
    m_dir.reset();
}

void TestTextsFit::theDesignFacesAreThere()
{
#ifdef Q_OS_WIN
    // Windows has both faces itself; Wine has them from scripts/wine-env.sh
    // (Liberation Sans by Arial's name, Wine's Tahoma installed).
    QCOMPARE(ResolvedFamily(QStringLiteral("Arial")), QStringLiteral("Arial"));
#else
    // Installed by scripts/install-deps.sh: fonts-liberation, fonts-wine.
    const QString arial = ResolvedFamily(QStringLiteral("Arial"));
    QVERIFY2(arial == QStringLiteral("Arial") || arial == QStringLiteral("Liberation Sans"), qPrintable(arial));
#endif
    const QString tahoma = ResolvedFamily(QStringLiteral("Tahoma"));
#ifdef Q_OS_WIN
    QCOMPARE(tahoma, QStringLiteral("Tahoma"));
#else
    // Installed by scripts/install-deps.sh: fonts-dejavu-extra.
    QVERIFY2(tahoma == QStringLiteral("Tahoma") || tahoma == QStringLiteral("DejaVu Sans Condensed"), qPrintable(tahoma));
#endif
    // Bold from its own face, not a regular one.
    TFrmPrincipal form(nullptr, false);
    const QFontInfo status(form.LblStatus->font());
    QCOMPARE(status.family(), tahoma);
    QVERIFY2(status.bold(), qPrintable(status.styleName()));
    QCOMPARE(QFontInfo(form.LblMemoria->font()).family(), tahoma);
}

void TestTextsFit::mainWindowInEveryState()
{
    TFrmPrincipal form(nullptr, false);
    QVERIFY(Shown(&form));
    TSyncEngine *engine = form.Sync.Engine();
    const QStringList statuses{QStringLiteral("AGUARDANDO"), QStringLiteral("SINCRONIZANDO"), StatusSynchronised(99999),
                               StatusFailed(), StatusErpFailed(), QStringLiteral("SEM CONEXÃO COM A CATRACA"),
                               QStringLiteral("SEM CONEXÃO COM O ERP"), StatusDisconnected()};
    const QStringList counters{QStringLiteral("aguardando..."), CountersCaption(99999, 99999)};
    const QStringList products{QStringLiteral("INTEGRADO COM: NÃO IDENTIFICADO"),
                               QStringLiteral("Integrado com: NORVA GESTAO COMERCIAL")};
    QStringList problems;
    for (const QString &status : statuses) {
        // Emitted here, on the window's thread: delivered at once.
        emit engine->StatusChanged(status, StatusColorDone);
        for (const QString &caption : counters) {
            emit engine->CountersChanged(caption);
            for (const QString &product : products) {
                form.LblConectado->setText(product);
                problems << CutTexts(&form);
            }
        }
    }
    problems.removeDuplicates();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestTextsFit::connectDialogCollapsedAndExpanded()
{
    auto form = NewConnectForm(m_dir->filePath(QStringLiteral("norvacomercio.ini")));
    form->FormShow();
    QVERIFY(Shown(form.get()));
    QStringList problems = CutTexts(form.get());
    form->SpeedButton1Click();
    QVERIFY(form->LblAV->isVisible());
    problems << CutTexts(form.get());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestTextsFit::messageDialogOfEveryKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("information") << int(dkInformation) << QStringLiteral("Sucesso")
                                 << QStringLiteral("Ping realizado com sucesso!\rTempo de resposta: 12 ms");
    QTest::newRow("question") << int(dkQuestion) << QStringLiteral("Confirmação")
                              << QStringLiteral("Deseja conectar ao banco de dados da catraca agora?");
    QTest::newRow("warning") << int(dkWarning) << QStringLiteral("Atenção") << QStringLiteral("O IP  parece não estar acessível!");
    QTest::newRow("error") << int(dkError) << QStringLiteral("Erro")
                           << QStringLiteral("Coloque este programa na pasta de instalação do seu sistema Norva para "
                                             "que ele possa conectar-se a base de dados!");
    QTest::newRow("error after a failed action") << int(dkError) << QStringLiteral("Erro ao conectar")
                                                 << QStringLiteral("Não foi possível conectar ao banco de dados !");
    QTest::newRow("warning question") << int(dkWarningQuestion) << QStringLiteral("Escolha a base")
                                      << QStringLiteral("Mais de uma base de dados foi encontrada. Qual deve ser usada?");
}

void TestTextsFit::messageDialogOfEveryKind()
{
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);
    MessageRequest request = Request(TDialogKind(kind), title, text);
    if (kind == dkWarningQuestion) {
        request.listVisible = true;
        request.items = {QStringLiteral("Loja centro"), QStringLiteral("Matriz")};
        request.values = {QStringLiteral("CENTRO"), QStringLiteral("MATRIZ")};
        request.listDefault = QStringLiteral("matriz");
    }
    TFrmDialog dialog;
    dialog.Prepare(request);
    QVERIFY(Shown(&dialog));
    const QStringList problems = CutTexts(&dialog);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestTextsFit::failureBox()
{
    QApplication::setApplicationDisplayName(QStringLiteral("Integração com Catracas Ovrex/Miravel"));
    const TMySqlError refused(QStringLiteral("Can't connect to server on '127.0.0.1' (115)"), 2002, false);
    QStringList problems;
    // A failure's whole message, and the short error of the Tools button
    // under the long application title.
    for (const QString &message : {DescribeFailure(TFailureSide::Turnstile, TFailureStage::Connect,
                                                   QStringLiteral("127.0.0.1:3307"), refused),
                                   QStringLiteral("O programa não foi encontrado!")}) {
        QMessageBox *box = OpenErrorBox(message);
        QVERIFY(QTest::qWaitForWindowExposed(box));
        problems << CutTexts(box);
        // The title bar's own font, and at least a close button beside it.
        const int title = QFontMetrics(QFontDatabase::systemFont(QFontDatabase::TitleFont))
                              .horizontalAdvance(box->windowTitle());
        if (box->width() < title + 46)
            problems << QStringLiteral("box of \"%1\": %2 pixels wide, its title needs %3")
                            .arg(message)
                            .arg(box->width())
                            .arg(title + 46);
        box->close();
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestTextsFit)
#include "tst_texts_fit.moc"
