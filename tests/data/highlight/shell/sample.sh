#!/usr/bin/env bash
# Deploy the built site to the web server and keep the last releases.
#
# usage: deploy.sh [-n] [-k COUNT] production|staging

set -euo pipefail

readonly SITE_NAME="cornerbakery"
readonly BUILD_DIR="dist"
KEEP=5
DRY_RUN=false

log() {
    printf '%s %s\n' "$(date '+%H:%M:%S')" "$*" >&2
}

die() {
    log "error: $*"
    exit 1
}

usage() {
    echo "usage: ${0##*/} [-n] [-k COUNT] production|staging"
    exit 2
}

run() {
    if [ "$DRY_RUN" = true ]; then
        log "would run: $*"
    else
        "$@"
    fi
}

while getopts ":nk:" option; do
    case "$option" in
        n) DRY_RUN=true ;;
        k) KEEP="$OPTARG" ;;
        *) usage ;;
    esac
done
shift $((OPTIND - 1))

[ "$#" -eq 1 ] || usage
target="$1"

case "$target" in
    production)
        host="www.cornerbakery.example"
        path="/var/www/$SITE_NAME"
        ;;
    staging)
        host="staging.cornerbakery.example"
        path="/var/www/staging"
        ;;
    *)
        die "unknown target: $target"
        ;;
esac

[ -d "$BUILD_DIR" ] || die "nothing to deploy: run npm run build first"

release="$(date +%Y%m%d-%H%M%S)"
log "deploying $SITE_NAME to $host as release $release"

run rsync -az --delete \
    --exclude '.DS_Store' \
    "$BUILD_DIR/" "deploy@$host:$path/releases/$release/"

run ssh "deploy@$host" "ln -sfn $path/releases/$release $path/current"

# Remove old releases, newest first, keeping $KEEP of them.
old_releases=$(ssh "deploy@$host" "ls -1t $path/releases" | tail -n +$((KEEP + 1)))
for old in $old_releases; do
    if [[ "$old" =~ ^[0-9]{8}-[0-9]{6}$ ]]; then
        run ssh "deploy@$host" "rm -rf $path/releases/$old"
        log "removed release $old"
    fi
done

cat <<EOF
Deployed $SITE_NAME release $release to $target.
Open https://$host/ to check the site.
EOF
