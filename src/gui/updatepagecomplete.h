// updatePageComplete: how a wizard page of ours records its completeness.
#pragma once

#include <QWizardPage>

// Stores bNow in the page's completeness flag and, only when that changes
// it, emits the page's completeChanged(), so that the wizard refreshes its
// Next and Finish buttons exactly when needed. GUI thread only.
inline void updatePageComplete(QWizardPage *pPage, bool &bComplete, bool bNow) {
    if (bNow == bComplete)
        return;
    bComplete = bNow;
    emit pPage->completeChanged();
}
