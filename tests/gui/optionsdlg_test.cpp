// The options dialog: what it shows for fresh, chosen and hand-edited
// settings, what it writes back, its enabling rule and the shortening of the
// recent-vaults list.
#include "gui/optionsdlg.h"
#include "gui/settingskeys.h"
#include "support/guitest.h"

#include <QPushButton>
#include <QSettings>

namespace {

void store(const QString &sKey, const QVariant &value) {
    QSettings().setValue(sKey, value);
}

QString stored(const QString &sKey) {
    return QSettings().value(sKey).toString();
}

QMap<QString, QVariant> allSettings() {
    QSettings settings;
    QMap<QString, QVariant> hAll;
    for (const QString &sKey : settings.allKeys())
        hAll.insert(sKey, settings.value(sKey));
    return hAll;
}

void clickOk(OptionsDlg &dlg) {
    dlg.buttonBox->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

// The layout page's state: chosen button, then which widgets are enabled.
QString layoutState(const OptionsDlg &dlg) {
    return QString("%1 maxed:%2 tabPos:%3 close:%4 move:%5")
        .arg(dlg.rbTabs->isChecked()      ? "tabs"
             : dlg.rbWindows->isChecked() ? "windows"
                                          : "none")
        .arg(dlg.cbWinMaxed->isEnabled())
        .arg(dlg.cbTabPos->isEnabled())
        .arg(dlg.cbCloseTabs->isEnabled())
        .arg(dlg.cbMoveTabs->isEnabled());
}
const QString sWindowsState("windows maxed:1 tabPos:0 close:0 move:0");
const QString sTabsState("tabs maxed:0 tabPos:1 close:1 move:1");

const QStringList lFourVaults{"/home/u/newest.vault", "/home/u/a, b.vault", "/x/&.vault",
                              "/home/u/oldest.vault"};

} // namespace

class OptionsDlgTest : public QObject {
    Q_OBJECT
private slots:
    void init() { GuiTest::clearSettings(); }

    // A fresh store shows the defaults; accepting writes every one of them.
    void freshStore() {
        OptionsDlg dlg;
        QCOMPARE(dlg.tabWidget->currentIndex(), 0);
        QVERIFY(dlg.cbWelcome->isChecked());
        QVERIFY(dlg.cbVaultWizard->isChecked());
        QCOMPARE(dlg.sbTimeout->text(), QString("Never"));
        QCOMPARE(dlg.sbRecent->value(), 4);
        QCOMPARE(layoutState(dlg), sWindowsState);
        QVERIFY(dlg.cbWinMaxed->isChecked());
        QVERIFY(dlg.cbCloseTabs->isChecked());
        QVERIFY(dlg.cbMoveTabs->isChecked());
        QCOMPARE(dlg.cbTabPos->currentText(), QString("Top"));
        clickOk(dlg);

        const QMap<QString, QVariant> hWritten = allSettings();
        QCOMPARE(hWritten.size(), 10);
        for (const char *sTrue :
             {SettingsKey::kUseWelcomeDlg, SettingsKey::kUseVaultWizard, SettingsKey::kWinMaxed,
              SettingsKey::kTabsClosable, SettingsKey::kTabsMovable})
            QCOMPARE(hWritten.value(sTrue).toString(), QString("true"));
        QCOMPARE(stored(SettingsKey::kForgetTimeout), QString("0"));
        QCOMPARE(stored(SettingsKey::kRecentMax), QString("4"));
        QVERIFY(hWritten.value(SettingsKey::kRecentList).toStringList().isEmpty());
        QCOMPARE(stored(SettingsKey::kInterface), QString("windows"));
        QCOMPARE(stored(SettingsKey::kTabPosition), QString("Top"));
    }

    // Every widget changed away from its default, written, and shown so by
    // the next dialog.
    void roundTrip() {
        {
            OptionsDlg dlg;
            dlg.cbWelcome->setChecked(false);
            dlg.cbVaultWizard->setChecked(false);
            dlg.sbTimeout->setValue(45);
            dlg.sbRecent->setValue(9);
            dlg.cbWinMaxed->setChecked(false);
            dlg.rbTabs->setChecked(true);
            dlg.cbCloseTabs->setChecked(false);
            dlg.cbMoveTabs->setChecked(false);
            dlg.cbTabPos->setCurrentIndex(3);
            clickOk(dlg);
        }
        QCOMPARE(stored(SettingsKey::kUseWelcomeDlg), QString("false"));
        QCOMPARE(stored(SettingsKey::kForgetTimeout), QString("45"));
        QCOMPARE(stored(SettingsKey::kInterface), QString("tabs"));
        QCOMPARE(stored(SettingsKey::kTabPosition), QString("Right"));

        OptionsDlg again;
        QVERIFY(!again.cbWelcome->isChecked());
        QVERIFY(!again.cbVaultWizard->isChecked());
        QCOMPARE(again.sbTimeout->text(), QString("45 min"));
        QCOMPARE(again.sbRecent->value(), 9);
        QCOMPARE(layoutState(again), sTabsState);
        QVERIFY(!again.cbWinMaxed->isChecked());
        QVERIFY(!again.cbCloseTabs->isChecked());
        QVERIFY(!again.cbMoveTabs->isChecked());
        QCOMPARE(again.cbTabPos->currentText(), QString("Right"));
    }

    // The layout widgets follow the chosen button at once, keep their values
    // while disabled, and are stored as they are.
    void enablingRule() {
        OptionsDlg dlg;
        dlg.cbWinMaxed->setChecked(false);
        dlg.rbTabs->click();
        QCOMPARE(layoutState(dlg), sTabsState);
        dlg.cbTabPos->setCurrentIndex(1);
        dlg.cbMoveTabs->setChecked(false);
        dlg.rbWindows->click();
        QCOMPARE(layoutState(dlg), sWindowsState);
        QVERIFY(dlg.label_2->isEnabled());
        clickOk(dlg);
        QCOMPARE(stored(SettingsKey::kInterface), QString("windows"));
        QCOMPARE(stored(SettingsKey::kWinMaxed), QString("false"));
        QCOMPARE(stored(SettingsKey::kTabPosition), QString("Bottom"));
        QCOMPARE(stored(SettingsKey::kTabsMovable), QString("false"));
    }

    // Lowering the maximum drops the oldest entries; the kept ones are
    // written exactly as stored (comma and ampersand included) and in their
    // order; raising it adds nothing.
    void recentListShortened_data() {
        QTest::addColumn<int>("iMax");
        QTest::newRow("lowered to 2") << 2;
        QTest::newRow("lowered to 1") << 1;
        QTest::newRow("disabled") << 0;
        QTest::newRow("unchanged") << 4;
        QTest::newRow("raised") << 15;
    }
    void recentListShortened() {
        QFETCH(int, iMax);
        store(SettingsKey::kRecentList, lFourVaults);
        OptionsDlg dlg;
        dlg.sbRecent->setValue(iMax);
        clickOk(dlg);
        QCOMPARE(stored(SettingsKey::kRecentMax).toInt(), iMax);
        QCOMPARE(QSettings().value(SettingsKey::kRecentList).toStringList(),
                 lFourVaults.mid(0, iMax));
    }

    void cancelWritesNothing() {
        store(SettingsKey::kRecentList, lFourVaults);
        store(SettingsKey::kForgetTimeout, 20);
        store(SettingsKey::kInterface, "tabs");
        const auto hBefore = allSettings();
        OptionsDlg dlg;
        dlg.cbWelcome->setChecked(false);
        dlg.sbRecent->setValue(1);
        dlg.sbTimeout->setValue(300);
        dlg.rbWindows->setChecked(true);
        dlg.buttonBox->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(allSettings(), hBefore);
    }

    // Hand-edited values: what the dialog shows, and what accepting writes.
    void handEditedValues_data() {
        QTest::addColumn<QString>("sKey");
        QTest::addColumn<QString>("sValue");
        QTest::addColumn<QString>("sShown");
        QTest::addColumn<QString>("sWritten");
        const char *const sTimeout = SettingsKey::kForgetTimeout,
                          *const sMax = SettingsKey::kRecentMax,
                          *const sPos = SettingsKey::kTabPosition,
                          *const sLayout = SettingsKey::kInterface;
        const struct {
            const char *sName, *sKey, *sValue;
            QString sShown;
            const char *sWritten;
        } aRows[] = {
            {"negative timeout", sTimeout, "-5", "Never", "0"},
            {"timeout off the step", sTimeout, "7", "7 min", "7"},
            {"timeout past range", sTimeout, "1000", "360 min", "360"},
            {"timeout past int", sTimeout, "99999999999", "360 min", "360"},
            {"timeout below int", sTimeout, "-99999999999", "Never", "0"},
            {"timeout no number", sTimeout, "soon", "Never", "0"},
            {"negative maximum", sMax, "-1", "Disabled", "0"},
            {"maximum past range", sMax, "100", "15", "15"},
            {"maximum no number", sMax, "many", "4", "4"},
            {"unknown position", sPos, "Sideways", "Top", "Top"},
            {"position in other case", sPos, "bottom", "Top", "Top"},
            {"empty position", sPos, "", "Top", "Top"},
            {"known position", sPos, "Left", "Left", "Left"},
            {"tabs", sLayout, "tabs", sTabsState, "tabs"},
            {"tabs in other case", sLayout, "Tabs", sWindowsState, "windows"},
            {"tabs and a blank", sLayout, "tabs ", sWindowsState, "windows"},
            {"unknown layout", sLayout, "mdi", sWindowsState, "windows"},
        };
        for (const auto &row : aRows)
            QTest::newRow(row.sName)
                << QString(row.sKey) << QString(row.sValue) << row.sShown << QString(row.sWritten);
    }
    void handEditedValues() {
        QFETCH(QString, sKey);
        QFETCH(QString, sValue);
        QFETCH(QString, sShown);
        QFETCH(QString, sWritten);
        store(sKey, sValue);
        OptionsDlg dlg;
        const QString sSeen = sKey == SettingsKey::kForgetTimeout ? dlg.sbTimeout->text()
                              : sKey == SettingsKey::kRecentMax   ? dlg.sbRecent->text()
                              : sKey == SettingsKey::kTabPosition ? dlg.cbTabPos->currentText()
                                                                  : layoutState(dlg);
        QCOMPARE(sSeen, sShown);
        clickOk(dlg);
        QCOMPARE(stored(sKey), sWritten);
    }

    // Tab visits each page's widgets in order, then the buttons; hidden and
    // disabled widgets are skipped, and of the two radio buttons the toolkit
    // visits one (the other is reached with the arrow keys).
    void tabOrder() {
        OptionsDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QWidget *pBar = dlg.tabWidget->focusProxy() ? dlg.tabWidget->focusProxy() : dlg.tabWidget;
        QCOMPARE(GuiTest::tabOrder(pBar),
                 QList<QWidget *>({dlg.cbWelcome, dlg.cbVaultWizard, dlg.sbRecent, dlg.sbTimeout,
                                   dlg.buttonBox, pBar}));
        dlg.tabWidget->setCurrentIndex(1);
        dlg.rbTabs->click();
        QList<QWidget *> lVisited = GuiTest::tabOrder(pBar);
        QVERIFY(qobject_cast<QRadioButton *>(lVisited.takeFirst()));
        QCOMPARE(lVisited, QList<QWidget *>({dlg.cbTabPos, dlg.cbCloseTabs, dlg.cbMoveTabs,
                                             dlg.buttonBox, pBar}));
    }
};

PELIMUND_GUI_TEST_MAIN(OptionsDlgTest)
#include "optionsdlg_test.moc"
