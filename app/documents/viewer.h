// The document viewer: a document shown in the window that suits its source.
#pragma once

// Shows document Number: analyser results as reports, files as text, printed pages in the
// metafile viewer, screen captures as pictures.
void ViewDocument(int Number);
