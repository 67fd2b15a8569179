// Automatic identification: the patient's name found in a document's own text.
#pragma once

// Sets the patient of document Number from the names its text holds; true when it did.
bool IdentifyFile(int Number);
