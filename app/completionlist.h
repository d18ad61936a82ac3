#pragma once

class QCompleter;
class QLineEdit;

enum class CompletionListPlace { Below, Above };

// Keeps the list of `completer`, which completes `field`, from taking what
// is meant for another widget. A press outside the list closes it and goes
// where it was aimed; Tab closes it and moves on; Return or Enter with no
// completion chosen closes it and reaches the field. The list opens at
// `place`: above the field where the screen has room, else beside it; on
// Wayland, where no window knows its place on the screen, above it.
void keepCompletionListInItsPlace(QCompleter *completer, QLineEdit *field, CompletionListPlace place);
