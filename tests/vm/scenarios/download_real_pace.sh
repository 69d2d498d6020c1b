# 2. The download of download_scaled.sh at the real pace (about 45 s): every pause the fixture
# needs is kept.
limit=150
scale=1
# shellcheck source=download_scaled.sh
. "$scenarios/download_scaled.sh"
