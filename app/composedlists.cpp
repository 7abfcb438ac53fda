#include "composedlists.h"

#include "composers.h"

#include <QComboBox>

void fillComposedLists(QComboBox *modes, QComboBox *encryptions, QComboBox *protocols)
{
    modes->addItems(Composers::workingModeEntries());
    encryptions->addItems(Composers::encryptionEntries());
    protocols->addItems(Composers::protocolEntries());
}
