// Reasons that follow from an orientation check.
#include "engine/runevents.h"

PhotoReason reasonOfCheck(const OrientationCheck &check) {
    PhotoReason reason;
    reason.check = check;
    switch (check.finding) {
    case OrientationCheck::Mirrored:
        reason.kind = PhotoReason::MirroredOrientation;
        break;
    case OrientationCheck::Unknown:
        reason.kind = PhotoReason::UnknownOrientation;
        break;
    case OrientationCheck::Unreadable:
        reason.kind = PhotoReason::Unreadable;
        break;
    case OrientationCheck::Changed:
        reason.kind = PhotoReason::ChangedWhileRead;
        break;
    case OrientationCheck::NotOpened:
        reason.kind = PhotoReason::NotOpened;
        reason.error = check.problem.reason;
        break;
    case OrientationCheck::Upright:
    case OrientationCheck::NeedsTurn:
        break;
    }
    return reason;
}
