// Shows the message dialog of one kind, or a sheet of themed buttons and
// panels, on the current display, for scripts/uikit-screenshots.sh to capture.
//   uikit_gallery dialog <kind 0..4>
//   uikit_gallery controls
#include "app/app_fonts.h"
#include "uikit/kr_comboradiobox.h"
#include "uikit/kr_controls.h"
#include "uikit/kr_dialog_form.h"
#include "uikit/kr_theme.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {
MessageRequest Sample(int kind)
{
    MessageRequest r;
    r.kind = TDialogKind(kind);
    switch (kind) {
    case dkInformation:
        r.title = QStringLiteral("Sucesso");
        r.text = QStringLiteral("Ping realizado com sucesso!\rTempo de resposta: 3 ms");
        break;
    case dkQuestion:
        r.title = QStringLiteral("Confirmação");
        r.text = QStringLiteral("Deseja conectar ao banco de dados da catraca agora?");
        break;
    case dkWarning:
        r.title = QStringLiteral("Atenção");
        r.text = QStringLiteral("O arquivo de configurações da catraca não foi encontrado; serão usados os valores padrão.");
        break;
    case dkError:
        r.title = QStringLiteral("Erro ao conectar");
        r.text = QStringLiteral("Não foi possível conectar ao banco de dados!");
        break;
    default:
        r.title = QStringLiteral("Escolha a base");
        r.text = QStringLiteral("Mais de uma base de dados foi encontrada. Qual deve ser usada?");
        r.listVisible = true;
        r.items = {QStringLiteral("Loja centro"), QStringLiteral("Matriz")};
        r.values = {QStringLiteral("CENTRO"), QStringLiteral("MATRIZ")};
        r.listDefault = QStringLiteral("matriz");
        break;
    }
    return r;
}

QImage Glyph()
{
    QImage g(16, 16, QImage::Format_RGB32);
    g.fill(Qt::magenta);
    QPainter p(&g);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 120, 40));
    p.drawEllipse(2, 2, 12, 12);
    return g;
}

void Hover(QWidget *w)
{
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(w, &e);
}

void Press(QWidget *w)
{
    Hover(w);
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

QWidget *ControlsSheet()
{
    auto *sheet = new QWidget;
    sheet->setWindowTitle(QStringLiteral("Controles"));
    sheet->resize(700, 330);
    const QList<QPair<TKRThemeColors, QString>> schemes{{tcAzul, QStringLiteral("tcAzul")},
                                                         {tcVerde, QStringLiteral("tcVerde")},
                                                         {tcLaranja, QStringLiteral("tcLaranja")},
                                                         {tcPreto, QStringLiteral("tcPreto")},
                                                         {tcNoTheme, QStringLiteral("tcNoTheme")}};
    QFont bold(QStringLiteral("Arial"));
    bold.setPixelSize(13);
    bold.setBold(true);
    int y = 10;
    for (const auto &[scheme, name] : schemes) {
        auto *theme = new TKRTheme(sheet);
        theme->SetNoRead(true);
        theme->SetThemeColors(scheme);
        theme->SetRoundedButtons(scheme == tcLaranja);
        auto *panel = new TKRPanel(sheet);
        panel->setGeometry(10, y, 130, 50);
        panel->SetTheme(theme);
        panel->SetCaption(name);
        panel->setFont(bold);
        auto *hotPanel = new TKRPanel(sheet);
        hotPanel->setGeometry(145, y, 80, 50);
        hotPanel->SetTheme(theme);
        hotPanel->SetCaption(QStringLiteral("mouse"));
        hotPanel->setFont(bold);
        Hover(hotPanel);
        const QStringList states{QStringLiteral("Normal"), QStringLiteral("Foco"), QStringLiteral("Mouse"),
                                 QStringLiteral("Pressionado"), QStringLiteral("Inativo")};
        for (int i = 0; i < states.size(); ++i) {
            auto *b = new TKRButton(sheet);
            b->setGeometry(240 + i * 90, y + 8, 85, 34);
            b->SetTheme(theme);
            b->SetCaption(states.at(i));
            b->setFont(bold);
            if (i == 0) {
                b->SetGlyph(Glyph());
                b->SetGlyphPos(gpLeft);
            }
            if (i == 4) {
                b->SetGlyph(Glyph());
                b->SetGlyphMask(geGray | geChecker);
                b->setEnabled(false);
            }
            b->setProperty("galleryState", i);
        }
        y += 62;
    }
    return sheet;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The faces the program itself uses.
    UseDesignFonts();
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("controls");
    if (mode == QLatin1String("dialog")) {
        auto *dialog = new TFrmDialog;
        dialog->Prepare(Sample(argc > 2 ? atoi(argv[2]) : 0));
        dialog->move(20, 20);
        dialog->show();
        return app.exec();
    }
    QWidget *sheet = ControlsSheet();
    sheet->move(20, 20);
    sheet->show();
    // States that need the window on screen: focus, hot and pressed.
    QTimer::singleShot(300, sheet, [sheet] {
        for (auto *b : sheet->findChildren<TKRButton *>()) {
            const int state = b->property("galleryState").toInt();
            if (state == 1)
                b->setFocus();
        }
        for (auto *b : sheet->findChildren<TKRButton *>()) {
            const int state = b->property("galleryState").toInt();
            if (state == 2)
                Hover(b);
            else if (state == 3)
                Press(b);
        }
        sheet->update();
    });
    return app.exec();
}
