2 .
2 .
oh , oh !
oh , oh !
oh , oh !
souvenons - nous , monsieur le Orateur , que ce sont ces secteurs de notre société qui servent de épine dorsale à notre économie .
bravo !
bravo !
monsieur le Orateur , ma question se adresse à le ministre chargé de les transports .
tous deux possèdent de nombreuses années de expérience dans la fabrication et la distribution de les produits forestiers .
1 .
je voudrais aussi parler de le droit de le fournisseur de choisir ses clients à son gré .
je en ai assez de voir que les ministres semblent éprouver certains complexes à le égard de la négociation collective .
je voudrais commenter un autre point particulier , monsieur le Orateur , avant de me taire .
a le ordre .
3 .
il ne y a pas de meilleure autorité en la matière que le député de Don Valley , non pas moi exclusivement .
ce est tout à fait compréhensible .
en outre , elle pourrait constituer une sérieuse menace pour la Confédération et le unité nationale .
pour cette raison , nous ne avons pas cru bon de assister à la réunion et en avons informé le COJO en conséquence .
monsieur le Orateur , le ministre a laissé entendre que un programme de construction plus considérable peut - être une poussée inflationniste .
je ne partage pas le avis de le ministre .
il y a beaucoup à dire sur les deux aspects de cette question .
a le ordre .
monsieur le Orateur , comme je le ai signalé à le chef de le opposition , je espère faire une déclaration à ce sujet le1er novembre .
ce est bien cela .
ce ne est pas en isolant quelque un que on le aide à se réadapter .
il laissait une femme et une famille .
monsieur le président je invoque le Règlement ; je suis persuadé que le député de Verdun ne aurait pas déprécié ma position .
les compagnies de assurance peuvent - elles à leur tour , agir comme compagnies aériennes ?
je vous le déclare , monsieur le Orateur , la population de Toronto sait que le gouvernement est incapable de fournir une réponse .
on a tout à fait tenu compte de leur avis sur le état de la réserve de poisson .
je vous remercie , monsieur le Orateur , et je remercie les députés de me permettre de poursuivre .
je réclame instamment cette étude approfondie , monsieur le Orateur , car nous ne savons presque rien de les raisons qui transforment les gens en criminels .
le gouvernement doit aider ses propres employés qui peuvent avoir besoin de une autre langue pour leur avancement .
je ne ai pas de scrupule quant à le genre de langage que je tiens .
( la motion est adoptée . )
monsieur le président , la décision ne est pas prise à ce moment - ci , mais je imagine que ce est oui .
la question de les relations commerciales avec nos homologues européens devrait être envisagée très sérieusement .
ce dont nous , les Canadiens , devons nous soucier , ce est les cas où on exporte ces animaux dans ce but - là .
ils ont déjà indiqué les embranchements que ils songeaient à fermer .
ce ministre assurait la garde tandis que la moitié de les recettes et de les bénéfices de le industrie agricole canadienne étaient balayés par le exposé budgétaire .
en aucune façon , monsieur le président .
nous en faisons actuellement le analyse et je espère que bientôt la Chambre pourra être saisie de les renseignements pertinents .
bravo !
bravo !
je proposerais donc , avec le appui de le député de Halifax - East ( M. Forrestall ) :
quand on a saisi le énormité de le ravage exercé par le crime organisé dans notre pays , on doit envisager de les solutions en profondeur .
leur popularité a monté en flèche et ils ont traversé la crise avec facilité grâce à cela .
( 2 ) Un comité doit se en tenir à le ordre de renvoi et ne saurait y déroger .
je voudrais préciser un autre point , et je le fais parce que je estime que il se agit de un débat général .
en décembre , la Colombie - Britannique a fait savoir que elle allait se retirer de le Office canadien de commercialisation de les oeufs .
bien de les députés de tous les partis de ce côté - ci de la Chambre se y sont également fortement opposés .
ce ne est pas de ces lignes que il faudrait se inquiéter pour le instant .
le député a pu poser deux questions supplémentaires et , en toute justice , je pense que nous devrions laisser la parole à de autres députés .
je crois que ce est une bonne chose .
je crois que il a pris trop de temps à étudier de les demandes courantes de changements de installations le long de un pipe - line , par exemple .
le ministre de État chargé de les Sciences et de la Technologie devrait connaître son rayon .
les menuisiers de le gouvernement fédéral touchent $ 6.42 à Toronto contre $ 5.23 à Halifax et Moncton .
je aimerais mentionner à ce sujet un communiqué de presse qui a suivi la conférence fédérale - provinciale de les procureurs généraux de octobre 1975 .
monsieur le Orateur , je invoque le Règlement .
je pense que le terme ferroviaire est « chargement sur demande » .
je reviendrai plus tard à ce que coûte un bâtiment de pêche de nos jours .
dans la plupart de les provinces , de les règlements généraux sur le bruit ont été mis en application , et dont le principe général se énonce ainsi :
de accord .
après tout , le énergie est un bien collectif et le gouvernement pourrait fort bien adopter une politique de encouragement comme celle dont je ai parlé .
6 .
je serai heureux , quand nous en aurons le temps , de me asseoir avec les député et de explorer la question de façon productive .
le ministre prendra il de les mesures pour résoudre les difficultés , car il est absolument nécessaire de passer les commandes maintenant et non dans quelques mois ?
cela encouragera la construction de nouvelles embarcations de pêche et la création de nouvelles conserveries .
il y a bien de les choses que je pourrais dire à propos de le bill C - 19 .
je reviendrai sur cet aspect un peu plus tard , car je pense que ce est un élément que il est essentiel de souligner cet après - midi .
les sociétés trouvent que les règlements sont compliqués , lourds et que on les modifie sans cesse .
monsieur le Orateur , ma question se adresse à le ministre chargé de la Commission canadienne de le blé .
si je comprends bien , on prévoit un taux de intérêts annuel de 70 % .
nous souhaitons parvenir à une décision cette semaine .
nous acceptons votre opinion .
il fit campagne là - dessus pendant les élections .
12 .
monsieur le Orateur , voici ce que je ai à en dire : quelle cruelle comédie , car ce est jouer la comédie .
monsieur le Orateur , nous essaierons de nous en tenir à cette suggestion .
1 . a ) $ 98,355 . b ) Ils sont disponibles dans tous les grands bureaux de poste de le pays .
en vertu de la constitution , le activité criminelle est de compétence fédérale , tandis que le application de la loi relève de les provinces et de les municipalités .
je prétends que mes remarques concernant le bill , le argent dépensé pour les soins médicaux et la façon dont on le dépense .
de abord quelques mots à le sujet de cette maladie pour vous situer .
heureusement , il y en a moins cette année , elles sont plus raisonnables , plus sérieuses et plus conciliantes .
ce projet de loi est à le étude à la Chambre depuis plus de un an .
cette personne a pris sa retraite le 30 décembre 1975 après avoir complété 34 années à le service de le public .
le adoption de la motion de le député signifierait que la loi préciserait en détail les exigences de contenu et que nous pourrions les discuter .
cela ne veut pas dire nécessairement que il y a défaut de se y conformer de la part de les parties .
je ne lui ai pas demandé de me fournir de telles explications sur ces activités .
comment peut - on tant demander de une part et être assuré de si peu de le autre ?
peut - être proposera il ensuite une mesure nouvelle et différente qui ne le exposera pas à les accusations de censure .
ou ils font leur travail convenablement , ou ce est à vous de obtenir le pouvoir nécessaire pour les amener à le faire .
on y retrouve en effet toutes les tensions et toutes les divergences de notre pays .
le hon. John N . Turner ( ministre de les Finances ) propose :
bien que il me coûte de le admettre , les gouvernements libéraux à le Canada ont présenté de bonnes mesures législatives ...
en tant que député de une circonscription voisine , je connais fort bien sa persévérance et son acharnement à le travail .
où est la CAI ?
malheureusement , à le heure actuelle , cette réalité est perçue par les deux tiers de la population non pas comme un avantage , mais comme un obstacle .
ne nous forcez pas à accepter un moratoire .
ce ne est pas la première fois que les députés en entendront parler .
on trouvait la même recommandation dans le rapport de le 29 avril de le an dernier de le comité permanent de les privilèges et élections .
je crois , monsieur le président , que le ministre est mal informé .
dans le rapport de le ministère de les Transports sur le accident , il est dit :
monsieur le Orateur , le gouvernement fédéral a offert un programme de 100 millions de dollars .
dans la plupart de les échantillons de cette importance , ce est - à - dire un groupe de plus de 500 personnes , cela serait considéré comme négligeable .
de ordinaire pour demander de nouveaux pouvoirs de emprunt ou annexer un article à les bills de finances provisoires présentés à la Chambre .
cela touche à le coeur même de notre démocratie puisque il se agit de le droit de le peuple à le information .
cela réduirait la demande de pétrole .
la Division de les enquêtes spéciales a été abolie à le début de 1975 .
de plus , il ne se agit pas de faire savoir si le on est pour ou contre une forme de aide à les parents adoptifs .
montrez - nous les documents .
le Canada continue à accorder son soutien à le alliance de le OTAN comme force de dissuasion et comme assurance absolument indispensables à notre sécurité .
pouvez - vous imaginer une telle mesure en 1978 ?
non , monsieur le président .
bien entendu , le gouvernement tente de conclure le meilleur marché possible pour les Canadiens en faisant une série de négociations .
je ajouterais , monsieur le Orateur , que il faut la maintenir à ce niveau .
si je veux obtenir de les chiffres sur la situation de le Canada , je ne irai certainement pas consulter le discours prononcé par le premier ministre .
nous avons étudié tous les aspects de la question .
mieux vaut sans doute que je cite un journaliste de Timmins qui songeait vraisemblablement à le député .
monsieur le Orateur , il est vrai que je ai reçu le rapport de le comité de action de les chemins de fer de les Prairies .
( ii ) a ) 3 véhicules seront utilisés par 6 spécialistes canadiens dans le cadre de la prestation de aide technique .
1979 .
et nous allons appliquer chacune de les recommandations contenues dans le rapport de le Vérificateur général , chose que nous réclamons depuis dix ans .
je voudrais commencer , monsieur le Orateur , en faisant quelques observations générales .
monsieur le Orateur , je vais voir si ces chiffres sont disponibles , mais je déplore les expressions que le député a utilisées .
je sais que il ne a pas le intention de me empêcher de répondre à la question fort sérieuse que me a posée son collègue .
le opposition nous chante toujours la même rengaine : ce programme coûtera de le argent à le gouvernement .
notre taxe de 18 cents ne leur plaisait pas .
le problème est de savoir si la population canadienne a le droit de être informée sur sa constitution .
ils veulent choisir eux - mêmes qui ils vont défendre .
est - ce que cela a été mis par écrit ?
je suis conscient , monsieur le président , que il ne existe pas de solution miracle .
en 1978 , on a enregistré 1,122,000 divorces sur le continent .
le chômage brise les familles et porte à le alcool et à la drogue .
le opposition officielle a essayé de détruire Petro - Canada pendant son bref règne de six mois .
et que à le lieu de provoquer la rupture ,
ils se sont prononcés contre une mesure qui aurait garanti à les Canadiens de les approvisionnements sûrs .
a propos de contribution , cela me rappelle une histoire .
madame le Président , je aimerais entendre ce que va dire le député avant de proposer ma motion .
le orateur qui me a précédé a dit également que il aimerait voir les provinces participer à les préparatifs de les réunions .
mon collègue de Toronto dit encore 53 ans .
de après toutes ces estimations , le Canada sera en bien plus mauvaise posture par suite de le programme que il ne le était auparavant .
monsieur le premier ministre ,
en fait , elle aura de les effets plus destructifs que positifs .
le inflation mondiale crée de graves tensions économiques .
le PT7 représente le début de une nouvelle famille de moteurs dans un niveau de puissance au - dessus de le moteur PT6 qui est hautement couronné de succès .
monsieur le Orateur , je suis heureux de avoir le occasion de participer à ce débat de ajournement ...
cette politique joue un rôle aussi important dans une stratégie industrielle que le plan de ensemble ou que les plans détaillés que il faut mettre à le point .
on dit maintenant que la construction de le gazoduc va coûter environ 45 milliards de dollars .
signalons par ailleurs que on trouve toutes ces lacunes dans le bill .
a ce stade de le débat sur la résolution , mon parti propose trois amendements précis .
il ne peut donc pas prétendre avoir apporté le moindre changement à le niveau de le ensemble .
ce est dans le cadre de ce programme et de ententes auxiliaires que le gouvernement accorde la majeure partie de son aide à le expansion régionale .
que a fait le gouvernement à ce sujet ?
si nous utilisons le chômage pour combattre le inflation , nous pourrons relancer le économie , voilà la position de le gouvernement .
la conservation commence à produire de le effet .
on pourrait implanter une aciérie en Colombie - Britannique , par exemple .
a le ordre !
voilà pourquoi les professions libérales ne devaient pas être imposées pour les travaux en cours .
monsieur le Président , je crois que ce qui se passe aujourd' hui est intéressant , mais ce ne est que un début .
cependant , ce sont les contribuables qui sont obligés de payer .
le projet de loi a pour but de revenir sur de les programmes qui ont été mis en place à une époque où nous pouvions nous le permettre .
ce est pourquoi nous avons dû importer 25,000 travailleurs spécialisés à un moment où le chômage augmentait .
comme Carter le a si bien dit dans les années 60 , une piastre est toujours une piastre , et il faut le imposer comme tel .
a le ordre , je vous prie .
cela donne en tout une réduction de $ 2,958 à le cours de les deux prochaines années , soit 15 % de le salaire initial de $ 20,000 .
de après les nouvelles de ce matin , la mine de minerai de fer à Heath , dans le nord de le Nouveau - Brunswick va fermer .
ils sont prêts à suivre cet exemple .
a le heure actuelle , un certain nombre de programmes de ce genre fonctionnent déjà et nous prévoyons en lancer de autres .
nous devons nous demander comment il se fait que cette abondance de idées et de activité ne ait pas résolu le problème de le développement .
je voudrais terminer sur une note positive , monsieur le Orateur .
je voudrais que il soit bien clair , monsieur le Orateur , que le gouvernement fédéral ne fixe pas les prix de détail .
la séance est ouverte à 2 heures .
je rappelle , monsieur le président , que le ministre parlait , pour les lignes de transmission de électricité , de les mêmes pouvoirs qui existent déjà .
ce est vraiment un objectif souhaitable que nous visons tous .
madame le Président , je voudrais poser une question supplémentaire à le ministre de les Transports .
prenons maintenant Petro - Canada .
cela va apporter de les économies énormes .
malheureusement , personne ne semble savoir quels seront à le juste ces effets .
nous avons permis à un sous - gouvernement de arracher de les pouvoirs à la Chambre de les communes .
ce est une somme considérable .
que se passe il exactement ?
madame le Président , je serai très bref .
le gouvernement dit tout simplement à les gens ce qui est bon pour eux .
ce sont les données désaisonnalisés , celles qui montrent une baisse de 5 % , qui comptent .
les discussions qui se déroulent en ce moment mettent la présidence dans une situation fort embarrassante .
monsieur le Président , je regrette , mais je ne ai pas vu ce communiqué de la société britannique .
il y a moins de bénévoles , car beaucoup de femmes sont retournées sur le marché de le travail .
elles travaillent avec eux .
leur succès dépend de la mesure dans laquelle ils se appliquent .
je ne sais pas se il existe un seul député à la Chambre qui se opposerait à ce que on donne davantage de argent à les personnes âgées .
eux aussi ont un rôle à jouer dans la chaîne alimentaire .
un aspect plus démocratique a été ajouté à les situations qui se présentaient dans nos circonscriptions .
il faudrait plutôt se efforcer de faire oublier les propos stupides que a tenus le ministre la semaine dernière .
le ministère remplira il le ravin qui se trouve à le extrémité de la piste 24L à le aéroport international Pearson de Toronto ?
si nous décidons de présenter un tel projet de loi , je lui rappellerai son offre .
a cela , je réponds :
ce est ce que je recommande à la Chambre de faire , monsieur .
je ignore si cela servira à quelque chose .
voilà le principe dont le Alliance doit se inspirer en cherchant à conclure de les accords justes et vérifiables avec le Union soviétique .
la même réponse se applique à les automobiles .
il a saisi la Chambre de un projet de loi qui aura pour effet de les restreindre .
le député de Bow River ( M. Taylor ) intervient dans le débat .
monsieur le Président , je invoque le Règlement .
le gouvernement ne veut pas le croire .
ce étaient là de les engagements extrêmement intéressants et assez révélateurs sur ce que pourrait devenir ce secteur fondamentalement important , le agriculture .
il se agit de le syndrome de la porte tambour et la réarrestation immédiate .
je espère que ensuite il portera le flambeau .
le argument de le gouvernement est erroné , à mon avis .
toutefois , nous avons suffisamment de argent pour renflouer deux banques .
le Règlement !
ces créations peuvent être volées comme ne importe quel autre type de propriété .
deuxièmement , monsieur le Président , ce que nous avons fait depuis novembre dernier , ce est une amélioration de le climat de confiance .
ce sont de les établissements financiers très importants dans le ouest de le Canada .
le député de Cochrane - Supérieur ( M. Penner ) a dit tout à le heure que ce était à le gouvernement de libérer ses députés .
ce est vrai .
que fait - on de les femmes qui vivent loin de les centres où ces services sont offerts ?
ils demandent à les députés de le Parlement de mettre fin à toute réduction de personnel dans ces ateliers .
ce ne est pas une question de me joindre à le député ; nous avons de le avance sur lui .
le Dr Kenneth Hare , considéré chez nous comme le un de nos spécialistes les plus éminents de les questions atmosphériques , a écrit un article où il précise :
cela aura de les répercussions un peu partout .
en de autres mots , les céréaliers américains toucheront une subvention de environ $ 2 le boisseau que leur versera le gouvernement de M. Reagan .
le rapport complet sera déposé de ici le automne prochain .
si ces règles étaient appliquées , est - ce que nous traiterions effectivement tout le monde sur le même pied ?
cette éminente autorité à la Chambre de les communes a parlé de harcèlements sexuels , de certaines femmes qui avaient été obligées de se dévêtir pour obtenir un emploi .
je ne fais que avertir les députés de le existence de un problème à cause de ce qui se est passé .
Évidemment , quand les conservateurs étaient dans le opposition , ils tenaient de les discours qui étaient à le opposé de leurs actions de aujourd' hui .
en réalité , le ministre de la Justice et le solliciteur général ont répondu avec tous les détails que ils pouvaient humainement donner .
le vice - premier ministre croit - il que ce est ainsi que un gouvernement conscient de ses responsabilités , ou un pays indépendant doit conclure un traité international ?
le sous - comité parlementaire est en train de examiner toute la question de les droits à le égalité .
en réalité , pour les demandes concernant moins de quatre étudiants , on ne essaie pas de savoir si les emplois sont axés sur la carrière ou non .
de plus , nous voulons une série de critères objectifs fondés sur les éléments que je mentionne ici , par exemple :
si nous adoptons pareille attitude pour cette question ou de autres de le domaine public , nous trouverons toujours de les excuses pour éviter de passer à le action .
vous avez alors instauré votre programme , le hôtel a été abandonné et Fort St. John est devenu une ville fantôme .
nous , en six mois , on a consulté , on se est assis avec le ministre et on est arrivé à une entente .
le très honorable député ne est peut - être pas non plus de accord avec le point de vue de Mme Bégin .
" essayons - le , disent - ils , et voyons ses effets .
le MEER fournit environ 3 millions de ce montant et le ministère de les Affaires indiennes et de le Nord le reste .
on ne répétera jamais trop que les Canadiens se inquiètent de la montée de la grande criminalité .
les exportations de grains doivent fléchir de 25 % pendant la campagne 1984 - 1985 .
notre retard dans ce domaine est si important que tous les Canadiens en sont gênés .
on ne modifie pas vraiment la situation .
il est désormais impossible de établir une distinction valable quelconque entre les missiles nucléaires de portée intermédiaire et de portée intercontinentale .
puis - je demander à le député de Western Arctic de être bref , si possible .
le Grand Victoria est considéré comme la Mecque de le tourisme à le Canada .
la taxe ne serait pas prélevée pour être remboursée par la suite .
on se est déjà engagé à faire en sorte que leur taux de participation se accroisse de manière à atteindre à le moins les niveaux historiques sinon traditionnels .
ce est - à - dire à la demande de la personne qui va peut - être prétendre à le statut de réfugié .
voilà où nous en sommes actuellement .
les paiements de péréquation ont acquis à le cours de les ans une ampleur considérable .
les représentants de tous les partis se inquiètent de cette question .
je tiens également à signaler que nous avons consulté le caucus progressiste conservateur de le Manitoba et un certain nombre de personnes de cette province .
la localité gardera un bon souvenir de le personnel militaire et de leur famille qui ont participé à la vie de cette localité .
en toute déférence , je dois interrompre le très honorable premier ministre .
alors , je le ai expliqué .
si le premier ministre a déclaré que il est prêt à négocier encore avec le Québec , pourquoi adopter en vapeur ce projet de loi ?
ce est la raison de ailleurs pour laquelle certains de mes collègues ont fait de les interventions relativement rigoureuses à ce sujet .
je tiens à exposer la teneur précise de les notes qui figurent dans le état financier de le 31 mars 1984 .
cette décision est alors envoyée à le particulier en question .
tout cela est insensé .
dans ce dossier , monsieur le Président , de nombreuses autorités se sont donné la main pour réagir immédiatement à la situation de urgence .
que est - il donc advenu de les études qui ont été effectuées après cet incident ?
le ex - ministre de les Transports avait clairement établi que ces règlements ne seraient promulgués que dans un an .
je estime que nous ne avons pas les moyens de nous payer plus longtemps une pareille façon de se comporter à le cabinet .
ce est donc dire , monsieur le Président , que le gouvernement se doit de respecter les recommandations de le Commissaire à les langues officielles .
ensuite , ils réduiront le nombre de les emplois car les entreprises que ils auront achetées feront double emploi avec de autres que ils ont déjà .
ce est à la deuxième étape de réexamen que la Cour suprême a établi que une audience est obligatoire .
en ce qui concerne les avocats spécialisés en immigration , le barreau se charge de les pénaliser .
le autre solution consiste à investir sous forme de prêts .
veut - il attendre que le économie de ces régions agricoles soit complètement à terre avant de réagir à le problème de les pluies acides ?
il me semble que cela ne est pas compliqué à comprendre .
nous ne devons pas oublier toutefois que la majorité de les producteurs de boeuf et de porc ont carrément rejeté tout mécanisme de régularisation de les mises en marché .
si je avais été à la place de Bryce , je aurais partagé le assiette à le beurre avec les autres .
en un mot , nous considérons que le rôle politique et le rôle administratif doivent être séparés le un de le autre .
on le a négligé et liquidé , ce qui a obligé le gouvernement à investir pour faire absorber cet atelier .
tous ces endroits inclus dans notre patrimoine sont gérés par Parcs Canada à le profit et pour le agrément de tous les Canadiens .
comme je le ai dit tout à le heure , pareilles distinctions ne avaient pas été envisagées lorsque le projet de loi a été adopté en deuxième lecture .
les secteurs public et privé ont tous deux un rôle à remplir .
les critiques seront de autant plus vives que le gouvernement actuel , sauf erreur , se est engagé à agir à le grand jour .
ce ne est pas suffisant .
ce est lui qui nous a dit que la construction de le centre de entretien de VIA Rail à Montréal était remise à les calendes grecques .
cependant , M. Baldwin avait ensuite déclaré :
nous voulons que les promesses faites par les sociétés qui reprennent de les entreprises canadiennes soient révélées publiquement .
il faut également consulter les gouvernements provinciaux pour définir les besoins de certaines régions .
ils pensent que en changeant simplement le nom de AEIE en Investissement Canada , nous aurons un afflux de dollars .
est - ce que le ministre peut donner en cette Chambre la position de le gouvernement canadien ?
voici maintenant neuf mois que le nouveau gouvernement a été porté à le pouvoir , et nous attendons toujours son premier budget .
nous acceptons à le heure actuelle que soient enregistrées les associations canadiennes de sport amateur et il faudrait en faire autant pour les groupes provinciaux .
par définition , « association canadienne de sport amateur » se applique à les associations fédérales , mais non à leurs contreparties provinciales .
cette bataille a ravi à le Canada 1,800 vaillants marins et 24 fiers bâtiments .
je trouve incroyable que le président de le Conseil de le Trésor se permette de rire de un sujet aussi grave .
de plus , ils ont demandé de les budgets supplémentaires .
bon , tout le monde est de accord là - dessus .
le poste de directeur général a été vacant durant plus de un an , et pour cause .
le ministre a parlé de réunions , fort bien .
il fallait que il soit à Saint - Jean .
ce est exactement ce qui se passe .
il ne est pas question de les traiter séparément .
de toute évidence , il ne aime pas les gens qui appartiennent à le mouvement coopératif dans le est de le Canada .
il incombe à le gouvernement fédéral de jouer le rôle de agent de surveillance .
la Société veut que les employés à temps partiel constituent dorénavant 45 % de tous ses effectifs .
À le cours de les dernières élections provinciales à le Manitoba , 900 personnes ont voté par la poste ; surtout de les citadins .
alors le gros bon sens ce est quoi ?
les abattoirs bâtis selon la réglementation québécoise ont de les normes plus sévères .
les techniciens gagnent plus de argent que les écrivains et les auteurs de pièces de théâtre .
ils étaient tous gauchistes .
elles sont bien faites .
certes , nous demeurons un petit pays et nous sommes vulnérables pour cette raison .
m. Wyman compte de nombreuses années de expérience dans le secteur de les marchés financiers .
réfléchissons - y un petit instant .
il est inutile , je crois , de continuer à tourner autour de le pot pour régler la question .
cette façon de procéder permet à les Indiens de participer à le activité économique .
le un de les grands objectifs de les consultations est de faire en sorte que la relance profite également à tous .
je pense , monsieur le Président , que le discours de le député de Baie - Comeau était probablement de la fausse représentation .
la justice élémentaire exige que les emplois de les femmes soient évalués équitablement .
nous comptons poursuivre ces discussions en tirant parti de les opinions exprimées par de nombreux groupes intéressés .
je pense surtout à les mères célibataires .
le ministre de le Expansion économique régionale traite avec énormément de justice et de honnêteté les dossiers de le Québec .
en fait , le revenu agricole net était à son plus bas niveau depuis 1970 et à son troisième plus bas niveau depuis 1938 , soit en 45 ans .
dans la région de Laval - Deux - Montagnes , 225,000 dollars de budget en 1984 , 30,000 dollars seulement cette année .
ce même ministre a lui - même promis durant la campagne électorale que non seulement il consulterait les pêcheurs mais que il serait facilement accessible en cas de problème .
on néglige actuellement de investir dans ce domaine , surtout en Colombie - Britannique .
le pire , ce est que on ne a pas su obtenir une garantie de financement par la voie de une Entente de développement économique régional .
il devrait parler sincèrement à le lieu de nous servir tout ce charabia .
il a dit que British Telecom « ne se était guère montrée habile sur le plan de la commercialisation ou de la gestion de les produits » .
les investisseurs étrangers menaient le Canada comme se il se était agi de le cinquante - et - unième État .
elle ne fait pas de recherche et de développement .
la première question consiste à savoir pourquoi il faut stabiliser les prix dans le industrie agricole .
en règle générale , tous les producteurs de une denrée quelconque subissent en même temps le contrecoup de le resserrement de le étau coût - prix .
ce est donc une circonscription très diversifiée .
le véritable problème est donc que les agriculteurs abandonnent .
venons - en à ce qui semble être le opinion publique sur la réforme de le Sénat .
ce est ce que il faut et ce est le objectif visé par le gouvernement .
je pense que , indépendamment de notre parti , nous trouvons tous cela inacceptable .
revenons maintenant à le projet de loi en question .
ce que les conservateurs proposent de faire pour donner un caractère distinctif à leur projet de loi est une erreur .
et on sait comment cela peut être pénible pour de les gens qui vivent une période pas spécialement drôle de leur vie .
par conséquent , la création de un tel système devrait être la première priorité dans toutes les provinces où il ne en existe pas .
nous sommes collègues depuis longtemps .
elle aidera les sociétés canadiennes à redresser plus rapidement leur situation financière en attirant de nouveaux capitaux propres .
le universalité de les allocations familiales est maintenue .
la recherche ne est guère considérée comme prioritaire .
ah , bon ?
ainsi , le savon et les boissons pour les enfants coûteront davantage , de même que les aliments pour animaux domestiques , le essence et le chauffage domestique .
cette technique ne a rien de anormal .
de après le dernier budget libéral , de autre part , le revenu personnel avait augmenté de 7 % en 1984 .
le gouvernement dépense largement et renfloue les entreprises .
les femmes profiteront de nouveaux règlements concernant les prestations de survivant et le partage de les pensions entre les conjoints en cas de rupture de le mariage .
en réalité , si on tient compte de le Accord de le Ouest , il est plutôt probable que ce sera 2.8c . le litre .
nous respectons nos promesses électorales .
nous devons remonter le économie , créer de le emploi , rationaliser les dépenses de le État , administrer plus efficacement .
cela ne tient guère debout , surtout si le on regarde qui paye .
que feront - ils avec ce capital ?
cela équivaut à peu près à les 440 millions de dollars versés à Canadair en le espace de deux ans .
il est ressorti de ces audiences que la grande préoccupation était les gains en capital .
il donne à entendre à les particuliers que pendant de trop nombreuses années le gouvernement a décidé pour eux .
dans ce sens - là , je vous dirai que je ai rencontré dernièrement de les centaines de jeunes Canadiens , et ils ont perdu beaucoup de illusions .
ce est pourquoi je ne puis appuyer la demande de emprunt présentée par le gouvernement .
mon collègue dit « négligé le Québec » , je suis de accord avec lui aussi .
je suis heureux de apprendre que les sociétés de État qui ont une valeur commerciale mais ne répondent pas à les objectifs de la politique publique soient vendues .
lorsque nous avons préparé le budget , nous avons pris cela en considération .
le premier ministre respectera il cet engagement ?
le ministre pourrait - il préciser les effets de cette réduction ?
je ne ai parlé jusque ici que de les aspects géographiques de ma circonscription .
nous pensons que ils relèveront le défi .
le ministre est - il en mesure de affirmer que cette mesure est équitable ?
il y a longtemps que nos milieux de affaires ne ont pas reçu de un gouvernement un tel vote de confiance .
le parti progressiste conservateur de le Canada se y oppose .
ils se sont levés comme un seul homme pour applaudir bien fort .
huitièmement .
non , monsieur le Président , à le contraire .
je voudrais maintenant vous parler un peu de ce qui a motivé la suppression de le impôt sur les gains en capital .
cette initiative va augmenter la pauvreté chez les personnes les plus vulnérables , les personnes âgées , qui ne pourront pas trouver de autres sources de revenu .
en outre , sont stationnés sur cette base , les Snow Birds , le équipe de acrobatie aérienne de le Canada .
notre caucus a entendu le autre jour le Conseil économique de les provinces de le Atlantique .
faut pas nous prendre pour de les poires !
il se agit de un problème important .
je ai le intention de parler surtout aujourd' hui de les nombreuses améliorations apportées à les programmes de pensions de tous les Canadiens .
on estimait également que il fallait compenser le érosion de la valeur de les biens due à le inflation .
il démontre une attitude réaliste , également parce que il agit avec douceur et intelligence .
le gouvernement ne se y intéresse pas et il ne se en soucie pas .
ils ont voté pour un changement dans la gestion de les affaires de le pays .
monsieur le Président , un rappel à le Règlement .
les faits sont clairs et nets .
aussi la motion de le député de Beaches nous permet de faire en cette Chambre ce que tout le monde fait présentement à travers le pays .
de plus , ils ont une bibliothèque spécialisée à leur service et la société ERCO dépense près de deux millions chaque année pour ses services de recherche .
deuxièmement , il faut aider les entreprises canadiennes à tirer parti de les possibilités de investissement et de le développement technologique .
non seulement les risques sont plus élevés , mais le temps nécessaire pour préparer le réapprovisionnement par navire est long .
monsieur le Président , une fois encore , les prévisions pessimistes de les libéraux et de les néo - démocrates en matière économique ne se sont pas concrétisées .
je ne ai pas le intention de ennuyer la Chambre en répétant les mêmes réponses .
cependant , lorsque nous avons pris le pouvoir , nous avons découvert que la tendance était à la hausse .
rien ne oblige non plus un ministre à déposer autre chose que le document dont il a tiré une citation .
en outre , il est stipulé dans notre résolution que il faudrait avoir servi plus de 365 jours à le Canada pour être admissible .
le gouvernement avait alors prétendu que il ne avait pas eu le temps de discuter de ce projet avec le un ou le autre de ces deux groupes .
autrement dit , notre destin économique est scellé .
ils disaient que les propriétaires allaient encore écoper parce que les taux de intérêt augmentaient .
notre rôle sur la scène internationale est quelque peu éclipsé .
en ce qui concerne le assurance - récolte , par exemple , le gouvernement fédéral a contribué la moitié de les primes et les producteurs le autre moitié .
donc , il est impossible pour nous de penser en ces termes .
elle a déclaré que le seul problème que posent le Candu et toute le option nucléaire , ce est sur le plan de la commercialisation .
comment se faisait - il que le on me présentait toutes ces instances ?
» ce est cela que le actuel premier ministre avait dit à le ancien premier ministre .
la majorité sont de ailleurs incapables de travailler .
il y a quelques jours , mon collègue de Essex - Windsor a donné à la Chambre une leçon de histoire .
voici le texte de le article :
il se chauffait à le mazout .
le gouvernement ne a pas encore décidé comment et quand cette modification devrait se manifester .
je ai parlé tantôt de le pari de le premier ministre ( M. Mulroney ) concernant le emploi en immigration .
cependant , le projet de loi dont nous sommes saisis aujourd' hui ne contient que deux amendements de fond et un certain nombre de amendements de ordre administratif .
il ne nous est pas permis en tant que société de faire ce genre de discrimination entre les gens en fonction de un pareil critère .
une collaboration entre le gouvernement fédéral et les provinces est indispensable pour accroître la valeur et le efficacité de nos programmes de dépistage .
selon lui , il vaudrait mieux attendre à le moins jusque en juin .
le entreprise , tout en demeurant dans le secteur privé , fut rebaptisée en 1934 la Société de les transports de le nord Limitée .
je félicite sincèrement le ministre de les Transports de avoir respecté le mandat initial .
ce ne est que aujourd' hui que le secteur privé fait savoir que il ne est pas en mesure de soutenir la concurrence de toutes ces sociétés de État .
les services spécialisés , comme le ravitaillement de le secteur pétrolier et gazier de la mer de Beaufort , pourraient être assurés par de autres .
malheureusement ou heureusement , selon le point de vue de chacun , ce ministre ne a guère obtenu de succès .
toutefois , la présidence pourrait peut - être en terminer avec la motion no 1 .
sur la côte ouest , nous avons le comité consultatif de le ministre qui , même se il ne est pas parfait , peut à le moins être utile .
voilà un excellent exemple de association fructueuse entre les gouvernements et le industrie .
monsieur le Président , je ai une question à poser à le ministre de les Transports .
monsieur le Président , je ne veux pas que il y ait de malentendu .
À le sein de le gouvernement de le Canada , divers ministères ont joué un rôle actif et sont intervenus dans le cadre de une action coordonnée et coopérative .
toutefois , la contradiction qui existe entre sa déclaration et celle de ses hauts fonctionnaires devrait faire le objet de une enquête indépendante .
je sais que nous nous en occupons à le niveau fédéral par le intermédiaire de la Société de le crédit agricole .
tels sont les principaux indices économiques .
le établissement de une sixième exploitation agricole à Bowden , en Alberta , permettra de accroître encore la production agricole de les établissements carcéraux .
tel était le principe de ce projet de loi à le étape de la deuxième lecture .
certes , personne , et surtout pas un seul député conservateur , ne y croirait .
ce est ce que elle a fait le 4 septembre dernier .
Convoquez les députés .
nous croyons que il est temps de établir de les règlements et de les méthodes comme il se doit .
leur intervention était tout à fait justifiée , car le succès de ces accords dépendra dans une très large mesure de la qualité de leur administration .
le Canada a tout lieu de être fier de son bilan dans ce domaine et devrait servir de modèle de tolérance pour les autres pays .
sur le avis de qui a il pris cette décision , puisque ses services avaient refusé ?
monsieur le Président , je suis heureuse que le premier ministre ait fourni ces informations à la Chambre .
je prie donc le député de cesser de montrer quoi que ce soit .
pourquoi le premier ministre se est - il montré prêt à manquer à sa promesse en premier lieu ?
monsieur le Président , ces questions inquisitrices de le parti libéral me font toujours sourire .
assurément , le député ne voudrait pas que le on impose de les sociétés qui perdent de le argent .
monsieur le Président , la question de le député part de une hypothèse toute gratuite .
combien de personnes sont employées a ) directement ou à contrat , b ) à temps plein et à temps partiel à le Bureau de le premier ministre ?
les cachets versés à chacun étaient conformes à le rôle joué pendant le gala et respectaient les normes de le Union de les artistes .
sous le gouvernement libéral , rien ne a été fait pour remédier à cette situation .
ils connaissent très bien le problème de surproduction .
chacun en lui - même est très complexe et le lien entre les deux le est encore davantage de sorte que pour beaucoup la situation présente est confuse .
je poursuis la lecture de les recommandations de les commissaires :
ils sont restreints par certaines limites qui ont été fixées pour garantir que la liberté de une personne ne empiète pas sur celle de une autre .
il ne a fait que rendre légal , à toutes fins utiles , le commerce sexuel dans nos rues .
le projet de loi C - 49 , de la façon dont il est présenté aujourd' hui , nous fait sentir que seules les prostituées sont punies et stigmatisées .
je ne ai jamais rencontré une seule prostituée de rue qui voulait exercer un tel métier .
le 28 juin , je ai eu le grand plaisir , avec de autres députés , de voir créer le comité permanent .
je le ai cité comme exemple de propriété publique créatrice , dynamique et efficace .
jusque ici , près de $ 250,000 ont été octroyés par le institut en subventions à la recherche ou à de les programmes de éducation de le public .
permettez - moi de conclure .
il faudrait examiner sérieusement cette raison pour voir si ce est rentable ou non et si cela sert les intérêts de le public .
il y a lieu cependant de se interroger sur le avenir en raison de les mesures de austérité annoncées ce printemps dans le budget .
le droit de permis passe donc de $ 25 à $ 500 .
il aurait été facile de dire que il faut appliquer ces sanctions à le lieu de les rendre facultatives .
nous devons mettre à le point de les programmes efficaces de réadaptation dans nos prisons .
Rendons grâce à le ciel de vivre en toute sécurité dans notre pays .
ils ont évidemment mobilisé de les appuis considérables à travers tout le pays .
la famille qui gagne $ 35,000 , lorsque le homme et la femme travaillent tous les deux , cela veut dire quoi ?
il est donc essentiel que cette question fasse le objet de un vote aujourd' hui .
le premier ministre et le cabinet ne désirent pas dépenser cet argent en Colombie - Britannique .
les enfants ont besoin de jouets et de loisirs .
elle ne est assurément de aucune utilité à les moins nantis de notre société .
je crois que cela donne une bonne idée de les principes à retenir et de ce que devraient être nos responsabilités .
cependant , il ne a encore rien fait .
nous aurons fait tellement de concessions que nous serons plus affaiblis que nous devrions le être .
avec ce projet de loi , il sera illégal de demander à un chauffeur de taxi comment contacter une prostituée .
si elles ne pouvaient pas payer leurs amendes et que personne ne venait régler leur cautionnement , elles restaient en prison .
comme vous le savez , monsieur le Président , les lois adoptées dans ces conditions - là sont souvent mauvaises .
ce projet de loi prétend , je dis bien prétend , faire progresser le égalité de accès à le emploi .
mais il ne y avait en fait pas de mécanisme de application obligatoire ni de méthode permettant de garantir une véritable participation de les autochtones et de les femmes .
ils veulent de les résultats .
le Conseil de le Trésor est chargé de la promotion sociale dans le administration fédérale depuis de les années , mais les femmes ne en ont guère bénéficié .
les travailleuses sont encore confinées à les tâches parmi les plus mal rémunérées .
il importe de examiner le équité professionnelle à le sein de les programmes de création de emplois fédéraux .
monsieur le Président , on a vu , hier , une autre fois , que le premier ministre ( M. Mulroney ) a trahi sa promesse .
que va coûter cette décision , en manque à gagner de recettes fiscales , si elle se applique à de autres sociétés ?
dès que le revenu de les producteurs devient insuffisant , leurs fournisseurs de matériel et de services commencent à se en ressentir dans la collectivité .
hansard RÉVISÉ * NUMÉRO 1
le lundi 22 septembre 1997
première SESSION - 36E LÉGISLATURE
ouverture de le Parlement
le greffier de la Chambre
élection DE LE PRÉSIDENT
le président de élection ( M. Caccia )
suspension de la séance
le président de élection ( M. Caccia )
reprise de la séance
le président de élection ( M. Caccia )
suspension de la séance
reprise de la séance
suspension de la séance
reprise de la séance
le président de élection ( M. Caccia )
suspension de la séance
reprise de la séance
le président de élection ( M. Caccia )
M. John Nunziata
ouverture DE LA SESSION
( Version officielle )
hansard RÉVISÉ * NUMÉRO 1
chambres DE LES COMMUNES
le lundi 22 septembre 1997
première SESSION - 36E LÉGISLATURE
la trente - cinquième législature ayant été prorogée et les Chambres dissoutes par proclamation le dimanche 27 avril 1997 , puis les brefs ayant été émis et rapportés , les nouvelles Chambres ont été convoquées pour le expédition de les affaires le lundi 22 septembre 1997 et , en conséquence , se sont réunies le jour dit .
le lundi 22 septembre 1997 .
le Parlement ayant été convoqué pour aujourd' hui , par proclamation de Son Excellence le Gouverneur général de le Canada pour le expédition de les affaires , et les députés étant réunis :
M. Robert Marleau , greffier de la Chambre , donne lecture de une lettre de le directeur administratif de le Gouverneur général annonçant que le très honorable Antonio Lamer , à titre de suppléant de le Gouverneur général , se rendra à la salle de le Sénat le lundi 22 septembre 1997 , à Ottawa , pour ouvrir la première session de la trente - sixième législature .
le gentilhomme huissier de la verge noire apporte le message suivant :
membres de la Chambre de les communes :
ce est le désir de le honorable suppléant de Son Excellence le Gouverneur général que cette honorable Chambre se rende immédiatement auprès de lui dans la salle de le honorable Sénat .
honorables membres de le Sénat , membres de la Chambre de les communes :
je suis chargé de vous informer que Son Excellence le Gouverneur général de le Canada ne juge pas à propos de faire connaître , avant que la Chambre de les communes ne ait choisi un Président conformément à la loi , les motifs qui le ont porté à convoquer le Parlement , mais que il les exposera demain le mardi 23 septembre 1997 , à 14 h 30 .
et les députés étant revenus à la Chambre de les communes .
le greffier de la Chambre :
conformément à le article 3 de le Règlement , je invite M. Caccia , député de la circonscription de Davenport , à venir prendre place à le fauteuil afin de présider à le élection de un Président .
élection DE LE PRÉSIDENT
le président de élection ( M. Caccia ) :
chers collègues , vous me faites un grand honneur en me confiant cette tâche .
en ce premier jour de automne , je aimerais souhaiter la plus cordiale bienvenue à tous les députés et surtout à les 90 nouveaux parlementaires siégeant en cette Chambre , laquelle compte maintenant 301 sièges .
six nouveaux sièges ont été ajoutés à la Chambre de les communes afin que elle reflète adéquatement le nombre croissant de électeurs canadiens .
la tâche qui nous attend aujourd' hui est simple et précise : élire un Président , conformément à les dispositions de les articles 2 à 6 de le chapitre 1 de le Règlement .
je voudrais attirer le attention de les députés sur le fait que , en vertu de le Règlement , nous allons commencer avec la liste de les candidats et , tout de abord , celle de les députés qui ont retiré leur candidature ou qui ne sont pas éligibles .
la liste de les députés éligibles à la Présidence a également été déposée sur le pupitre de chaque député .
elle est disponible à le Bureau et elle est affichée dans chaque isoloir .
lorsque le greffier aura ouvert les bulletins , la présidence proposera une méthode pour accélérer le processus de scrutin .
comme nous allons maintenant commencer à voter , je rappelle à les honorables députés que ils doivent écrire le prénom et le nom de leur candidat en lettres moulées sur le bulletin de vote .
je propose que les députés quittent leur fauteuil , sortent par derrière les rideaux et viennent à la table en utilisant les portes à droite et à gauche de le fauteuil présidentiel , selon le côté où ils siègent .
le greffier donnera un bulletin à chaque député .
après avoir voté , les députés voudront bien se éloigner de les isoloirs .
les isoloirs sont maintenant ouverts pour le vote .
les députés peuvent maintenant se avancer pour voter .
( Les députés reçoivent leur bulletin de vote , que ils remplissent en secret dans les isoloirs . )
le président de élection ( M. Caccia ) :
les députés qui ne ont pas voté et qui souhaitent le faire devraient voter maintenant .
tous les députés ayant voté , je ordonne à le greffier de procéder à le dépouillement de le scrutin une fois que je aurai déposé mon bulletin de vote .
suspension DE LA SÉANCE
le président de élection ( M. Caccia ) :
avant de suspendre la séance , je signale à les députés que , lorsque on aura fini de dépouiller les bulletins de vote , on ne fera retentir la sonnerie rappelant les députés à la Chambre que pendant cinq minutes .
la séance est suspendue jusque à le appel de le Timbre .
( La séance est suspendue jusque à 12 h 10 . )
reprise DE LA SÉANCE
la séance reprend à 12 h 44 .
le président de élection ( M. Caccia ) :
je ai le devoir de informer la Chambre que un deuxième tour de scrutin sera nécessaire .
les députés éligibles à le deuxième tour de scrutin sont les suivants :
si le un de les députés que je viens de nommer désire retirer sa candidature , que il veuille bien nous faire part de les motifs de sa décision .
les noms que je viens de mentionner figurent sur le deuxième bulletin de vote .
dans quelques instants , le greffier pourra présenter la liste de les candidats .
le vote aura lieu à ce moment - là .
pendant que le greffier descelle le paquet de bulletins de vote , je informe la Chambre que le deuxième bulletin sera de une couleur différente et que la liste de les noms de les candidats à ce tour de scrutin a été déposée dans chaque isoloir .
je voudrais aussi signaler à les députés que ils peuvent maintenant se avancer pour voter .
les isoloirs sont maintenant ouverts .
( Les députés reçoivent leur bulletin de vote , que ils remplissent en secret dans les isoloirs . )
le président de élection ( M. Caccia ) :
à le ordre , se il vous plaît .
si personne de autre ne souhaite voter ou déposer un bulletin de vote , je ordonne à le greffier de procéder à le dépouillement de le scrutin .
suspension DE LA SÉANCE
le président de élection ( M. Caccia ) :
à le ordre , se il vous plaît .
avant de suspendre la séance , je signale à les honorables députés que après le dépouillement de le scrutin , la sonnerie de appel de les députés à la Chambre retentira pendant à le plus cinq minutes .
( La séance est suspendue à 13 h 13 . )
reprise DE LA SÉANCE
la séance reprend à 13 h 42 .
le président de élection ( M. Caccia ) :
je ai le devoir de informer la Chambre que il faudra tenir un troisième tour de scrutin .
voici les noms de les candidats pour le troisième tour :
si le un de les députés que je viens de nommer désire retirer sa candidature , que il veuille bien le faire maintenant .
à le ordre , se il vous plaît .
pendant que le greffier descelle le paquet de bulletins de vote , je rappelle à les députés que les bulletins de vote pour ce troisième tour de scrutin sont de une couleur différente et que la liste de les candidats est affichée dans chaque isoloir .
le vote peut commencer maintenant .
les députés peuvent maintenant se avancer pour voter .
( Les députés reçoivent leur bulletin de vote , que ils remplissent en secret dans les isoloirs . )
le président de élection ( M. Caccia ) :
dès que le président aura voté , le greffier procédera à le dépouillement de le scrutin .
suspension DE LA SÉANCE
le président de élection ( M. Caccia ) :
avant de suspendre la séance , je précise à les députés que , lorsque on aura fini de dépouiller les bulletins de vote , on ne fera retentir la sonnerie rappelant les députés à la Chambre que pendant cinq minutes .
la séance est suspendue jusque à le appel de la présidence .
( Suspension de la séance à 14 h 6 . )
reprise DE LA SÉANCE
la séance reprend à 14 h 29 .
le président de élection ( M. Caccia ) :
à le ordre .
je ai le devoir de informer la Chambre que un quatrième tour de scrutin sera nécessaire .
les noms de les députés éligibles à le prochain tour de scrutin sont les suivants :
afin de faciliter les choses , une liste alphabétique révisée de les candidats pour le prochain tour sera placée dans chaque isoloir de ici quelques minutes et le vote pourra alors commencer .
ce bulletin de vote sera de une couleur différente .
la liste de les candidats pour ce tour a été placée dans chaque isoloir .
le greffier est en train de desceller le paquet de bulletins de vote et les isoloirs sont maintenant ouverts .
les députés peuvent maintenant se avancer pour voter .
( Les députés reçoivent leur bulletin de vote , que ils remplissent en secret dans les isoloirs . )
le président de élection ( M. Caccia ) :
se il se trouve de les députés qui ne ont pas encore voté et qui souhaitent le faire , je les prie de se avancer immédiatement .
je demanderai maintenant à le greffier de la Chambre de procéder à le dépouillement de le scrutin lorsque je aurai moi - même voté .
suspension DE LA SÉANCE
le président de élection ( M. Caccia ) :
avant de suspendre la séance , je signale à les honorables députés que après le dépouillement de le scrutin , la sonnerie de appel de les députés à la Chambre retentira à le plus cinq minutes .
( La séance est suspendue à 14 h 58 . )
reprise DE LA SÉANCE
la séance reprend à 15 h 18 .
le greffier de la Chambre ayant communiqué à le président de élection le nom de le député ayant recueilli la majorité de les voix :
le président de élection ( M. Caccia ) :
je ai le devoir de informer la Chambre que un Président de la Chambre a été élu .
ce est avec grand plaisir que je invite maintenant le honorable député de la circonscription électorale de Niagara - Centre , M. Gilbert Parent , à venir prendre place à le fauteuil .
de les voix :
bravo !
( La masse ayant été placée sous la table , le président de élection quitte le fauteuil et y conduit M. Parent )
le Président :
je tiens à commencer par répéter les premiers mots que , depuis de les centaines de années , tous les Présidents prononcent .
honorables députés , je tiens à exprimer à la Chambre mes humbles remerciements pour le grand honneur que elle a bien voulu me faire en me choisissant comme Président .
je tiens à vous remercier de la confiance que vous venez de me témoigner .
je suis à la fois très reconnaissant et profondément touché .
il se en trouve pour dire que il y aura beaucoup de action à la Chambre à le cours de cette 36e législature .
je ne ai jamais connu de législature où il ne y avait pas beaucoup de action .
pourquoi ne y aurait - il pas beaucoup de action ?
vous êtes ici en tant que les porte - parole élus de les Canadiens de tout le pays .
vous allez défendre comme il se doit de les opinions bien arrêtées .
ce est ici , sur le parquet de la Chambre de les communes , que nous aurons la chance de nous exprimer .
la dernière fois que vous me avez fait le honneur de me élire comme Président , je ai dit que nous étions les gladiateurs politiques de le Canada , et ce est vrai .
nos armes sont nos paroles , nos idées , nos convictions .
voilà pourquoi il y a de le action .
mais nous pouvons faire notre travail dans un esprit de respect le un pour le autre et pour notre institution .
mon travail est de veiller à ce que les droits et privilèges de tous les parlementaires canadiens soient protégés .
de une manière générale , nous avons , vous et moi , trois droits et privilèges fondamentaux .
nous avons le droit de venir à cet endroit .
nous avons le droit de parler sans crainte , et celui de voter .
je vous promets de exécuter mes fonctions dans un esprit de équité et de impartialité .
je suis , comme vous le savez , à le service de la Chambre .
ce est la Chambre qui , collectivement , décide si elle veut apporter de les changements et de quelle manière elle procédera à ces changements .
parlementaires de le Canada , à le cours de les prochaines années , en raison de la situation , de le histoire et , oui , de le destin , le sort de notre pays sera entre nos mains .
je vous remercie de nouveau pour le honneur que vous me avez fait aujourd' hui .
et maintenant , le Parlement peut se mettre à le travail .
je vous remercie beaucoup .
de les voix :
bravo !
et la masse ayant été posée sur la table :
M. John Nunziata ( York - Sud - Weston , Ind . ) :
monsieur le Président , je voudrais profiter de le occasion pour vous exprimer mes plus sincères félicitations à le occasion de votre élection .
comme vous le savez , à le fil de les ans , je ai acquis un grand respect pour vous .
je vous considère comme un ami .
de le fond de le coeur , je vous félicite .
je voudrais également que vous demandiez le consentement de la Chambre pour faire de votre élection un choix unanime .
le Président :
la Chambre a entendu le libellé de la motion .
les députés appuient - ils la motion ?
de les voix :
de accord .
* * *
ouverture DE LA SESSION
le Président donne lecture de une lettre de la secrétaire de le Gouverneur général annonçant que Son Excellence le Gouverneur général se rendra à la chambre de le Sénat à 14 h 30 , le mardi 23 septembre 1997 , pour ouvrir officiellement la première session de la trente - sixième législature .
le Président :
en conséquence , la Chambre se ajourne à demain .
( La séance est levée à 15 h 29 . )
hansard RÉVISÉ * NUMÉRO 2
table DE LES MATIÈRES
le mardi 23 septembre 1997
discours DE LE TRÔNE
le Président
les SERMENTS De OFFICE
projet de loi C - 1 .
présentation et première lecture
le très hon. Jean Chrétien
le DISCOURS DE LE TRÔNE
le Président
le très hon. Jean Chrétien
le BUREAU DE RÉGIE INTERNE
le RÈGLEMENT
le hon. Don Boudria
le COMITÉ PLÉNIER
nomination de le président
le très hon. Jean Chrétien
nomination de le vice - président
le très hon. Jean Chrétien
nomination de la vice - présidente adjointe
le très hon. Jean Chrétien
motion
les CRÉDITS
le hon. Don Boudria
le hon. Marcel Massé
le DISCOURS DE LE TRÔNE
adresse en réponse
Mme Sarmite Bulte
M. Claude Drouin
M. Preston Manning
les TRAVAUX DE LA CHAMBRE
le hon. Don Boudria
le hon. Don Boudria
( Version officielle )
hansard RÉVISÉ * NUMÉRO 2
chambre DE LES COMMUNES
le mardi 23 septembre 1997
la séance est ouverte à 14 h 30 .
prière
discours DE LE TRÔNE
le gentilhomme huissier de la verge noire apporte le message suivant :
monsieur le Président , ce est le désir de Son Excellence le Gouverneur général que cette honorable Chambre se rende immédiatement auprès de elle dans la salle de le honorable Sénat .
en conséquence , le Président et les membres de les Communes se rendent à le Sénat .
et de retour à la Chambre de les communes :
le Président :
à le ordre , se il vous plaît .
je ai le honneur de rapporter que les Communes se étant rendues à le Sénat sur le invitation de Son Excellence le Gouverneur général , je ai informé Son Excellence que je avais été désigné Président .
en votre nom , je ai réclamé les privilèges accordés de ordinaire , que il a plu à Son Excellence de bien vouloir confirmer .
je annonce à la Chambre que , suite à le intervention de le gouvernement je ai ordonné , conformément à le paragraphe 55 ( 1 ) de le Règlement , la publication de un Feuilleton spécial donnant avis de deux motions ministérielles .
je dépose maintenant les documents pertinents sur le bureau .
* * *
les SERMENTS De OFFICE
le très hon. Jean Chrétien ( premier ministre , Lib . ) demande à présenter le projet de loi C - 1 , Loi concernant le administration de les serments de office .
( Les motions sont adoptées et le projet de loi est lu pour la première fois . )
* * *
le DISCOURS DE LE TRÔNE
le Président :
honorables sénateurs et sénatrices ,
mesdames et Messieurs les députés ,
de plus , en tant que Gouverneur général , je ai visité toutes les provinces ainsi que les territoires .
ce est une expérience que je souhaite à tous les Canadiens . Nos villes et nos villages reflètent la diversité de tous ceux et celles qui se sont établis dans ce pays .
pourtant , dans nos communautés , que elles soient situées sur les côtes ou dans les prairies , dans les régions boisées ou la toundra , on retrouve la même attitude amicale , le même esprit de ouverture et la même générosité .
les gens se entraident de diverses façons , et ils ne hésitent pas à donner temps et soutien à leur communauté .
quand je suis devenu Gouverneur général , je ai déclaré que je avais le intention de souligner la générosité de les Canadiens , surtout de les bénévoles .
nous avons donc créé le Prix pour le entraide , qui reconnaît la générosité de les plus dévoués de entre eux .
mes fonctions me amènent à rendre visite à de nombreuses unités de les Forces canadiennes .
je admire le dévouement dont ces hommes et ces femmes ont fait preuve en tant que gardiens de la paix , leur héroïsme dans les missions de recherche et de sauvetage et leur promptitude à agir en cas de catastrophes naturelles , comme les inondations dans les régions de le Saguenay et de la rivière Rouge .
que on me permette de mentionner une autre réalisation dont je tire grande fierté : la proclamation de le 21 Juin , le jour le plus long de le année , comme Journée nationale de les Autochtones en le honneur de les premiers peuples de le pays .
une nouvelle législature ...
ce jour marque le ouverture de une nouvelle législature - la dernière de le XXe siècle et la première de le XXIe siècle - une législature qui a une occasion historique unique de exercer un leadership sur les questions de envergure nationale pour assurer le avenir de les Canadiens .
le 2 juin 1997 , les Canadiens ont renouvelé le mandat de le gouvernement .
à le cours de cette législature , le gouvernement remplira les engagements que il a pris auprès de les Canadiens dans sa plate - forme électorale .
le Parlement de le Canada est la seule institution dont les membres sont directement élus par tous les Canadiens . Il a pour mandat de protéger le intérêt national et de lui donner une forme concrète .
élu par tous les Canadiens avec la légitimité que cela lui confère , le gouvernement de le Canada , tant à le pays que à le étranger , défendra les valeurs communes auxquelles adhèrent les Canadiens .
pour gouverner à le XXIe siècle , il faut accepter le fait que aucun gouvernement ne peut agir isolément .
étant donné la complexité de les enjeux auxquels nous faisons face comme citoyens dans le contexte de une économie mondiale , la coopération est essentielle à notre réussite comme pays .
plus que jamais , les Canadiens veulent que leurs gouvernements travaillent en partenaires .
à le aube de un nouveau millénaire , devant les défis et les possibilités que il nous offre , nous pouvons jeter un regard sur le dernier siècle de le histoire canadienne et affirmer sans contredit que le Canada est vu dans le monde entier , à juste titre , comme un exemple de réussite extraordinaire .
le Canada représente le triomphe de le esprit humain ; il rassemble le meilleur de ce que les hommes et les femmes sont capables de faire .
... Vers un nouveau siècle de réalisations canadiennes
à le fur et à mesure que les vieilles contraintes que nous imposaient le temps et les distances se estompent , les individus comme les collectivités peuvent aujourd' hui accomplir de les choses autrefois impensables .
le Canada est prêt .
le succès nous attend .
nos citoyens ont les qualités requises pour réussir à le XXIe siècle .
nous avons le sens de le partage et de le entraide .
nous sommes instruits .
nous sommes innovateurs et ouverts à les idées nouvelles .
nous sommes une société ouverte et démocratique .
nous sommes un pays bilingue et multiculturel à une époque de mondialisation croissante .
nous avons appris à composer avec nos différences et notre diversité , et à en faire de les atouts .
notre fédération tire le meilleur parti possible de ces talents .
elle nous donne la cohésion nécessaire pour multiplier les atouts dont nous disposons en conjuguant nos talents , en regroupant nos ressources et en partageant les risques .
elle nous donne aussi la souplesse requise pour expérimenter et innover afin de assurer notre succès dans un monde en rapide évolution .
le gouvernement tient à reconnaître le rôle important que joue une fonction publique professionnelle et non partisane dans une société civile performante .
le Canada est bien servi par sa fonction publique , ainsi que par les efforts et le dévouement que elle démontre en répondant à les besoins de les citoyens et en travaillant en partenariat avec les gouvernements et les autres secteurs de la société .
le gouvernement poursuivra le renouvellement de la fonction publique de le Canada afin que ses membres aient les compétences et le dévouement pour continuer à bien servir les Canadiens .
nous avons déjà jeté les bases de notre succès
ces dernières années , les Canadiens ont fait beaucoup de efforts et de sacrifices pour surmonter un grand nombre de difficultés auxquelles notre pays a fait face .
nous y sommes parvenus , et nous avons commencé à jeter de les bases solides sur lesquelles se fondera notre réussite à le cours de le nouveau millénaire .
cette 36e législature se ouvre à le moment où nous avons mis de le ordre dans les finances publiques et où le économie se engage dans un cycle de croissance vigoureuse .
certes , le chômage est encore trop élevé , mais de les centaines de milliers de emplois nouveaux sont créés par le secteur privé , le taux de inflation est très bas et les taux de intérêt ne ont jamais été aussi faibles depuis plus de trente ans .
un nombre croissant de sociétés canadiennes vendent aujourd' hui plus de biens et de services dans le monde entier que jamais auparavant .
stimuler la création de emplois et la croissance économique a toujours été un objectif primordial de le gouvernement de le Canada .
le gouvernement se appuiera sur les progrès réalisés et sur les bases solides établies à le cours de ces quatre dernières années pour renforcer le économie et augmenter la confiance .
nous poursuivrons dans cette voie et nous prendrons de les mesures supplémentaires pour encourager les nouveaux investissements , créer de nouveaux emplois , et générer la richesse nationale nécessaire pour assurer à les Canadiens un avenir stable et sûr .
le gouvernement continuera à faire preuve de vigilance et à gérer avec sagesse les finances de le pays .
il se assurera que le ratio de la dette à le produit intérieur brut diminue de façon permanente .
il équilibrera le budget à le plus tard durant le année financière 1998 - 1999 .
il déposera de les projets de loi pour mettre en oeuvre les changements proposés à le Régime de pensions de le Canada de même que la nouvelle prestation à les aînés , afin que le Canada continue de avoir un régime public de pensions abordable à le XXIe siècle .
à le Canada , un emploi sur trois est tributaire de le commerce .
notre prospérité et notre capacité de créer de les emplois sont liées à la manière dont nous savons exploiter les débouchés à le étranger .
les missions commerciales de Équipe Canada ont ouvert une foule de possibilités nouvelles à les entreprises canadiennes , et démontré les mérites de la collaboration entre les gouvernements et le secteur privé .
le gouvernement se appuiera sur le succès de cette collaboration pour établir avec les milieux industriels une stratégie destinée à améliorer notre performance économique internationale , en élargissant notre base commerciale , et en faisant de le Canada un lieu privilégié pour les investisseurs de le monde entier et une destination touristique recherchée .
le gouvernement de le Canada a regagné sa capacité de répondre à les priorités de les Canadiens sans excéder ses moyens financiers .
il est maintenant en mesure de effectuer de les investissements stratégiques pour nos enfants , nos jeunes , notre santé , nos collectivités , ainsi que pour le secteur de le savoir et de la créativité , tout en continuant à assainir la situation financière de le pays .
le gouvernement est résolu à suivre cette approche équilibrée de investissement social et de gestion financière prudente , à le moment où il conduit le pays vers une santé économique renouvelée et durable , et une meilleure cohésion sociale .
notre fédération se trouve ainsi plus en mesure de répondre à les divers besoins de les Canadiens à travers le pays .
les Canadiens regagnent confiance en leur avenir et en celui de le pays .
ils le envisagent avec un optimisme nouveau .
le fait que nous ayons prouvé que notre pays est capable de se fixer de les objectifs ambitieux et de les atteindre nous incite à nous imposer de les objectifs encore plus élevés pour les années à venir .
le défi de le avenir
le défi de le avenir consistera à veiller à ce que personne ne soit oublié dans la marche en avant de notre pays .
le avenir appartient à les sociétés dont le économie est saine , à celles qui investissent dans la connaissance , le éducation et le innovation ; à celles dont la population est en bonne santé , dont les enfants sont bien préparés à faire leur apprentissage , et à celles qui ont pour objectif de assurer une qualité de vie élevée à tous leurs citoyens .
les Canadiens ont établi ces priorités pour cette nouvelle législature .
ces priorités sont celles de le gouvernement .
pour un Canada plus fort
les gouvernements fédéral , provinciaux et territoriaux se doivent , à le égard de tous les Canadiens , de exercer un leadership responsable en faveur de le unité de le pays .
le engagement le plus important de le gouvernement est de maintenir le unité de le Canada .
il ne a pas de plus grand devoir ou responsabilité .
à le seuil de le XXIe siècle , le objectif primordial de le gouvernement de le Canada est à la fois simple et ambitieux .
il consiste à renforcer notre pays et à en assurer le unité en contribuant à le entreprise commune de faire en sorte que le Canada demeure un de les pays de le monde où il fait le mieux vivre .
pour que ces aspirations se réalisent pleinement , il faudra mobiliser les Canadiens de tous les horizons , ainsi que les institutions , les entreprises privées , les milieux bénévoles et les gouvernements .
il faudra de la collaboration et de les partenariats .
il faudra se tendre la main .
à le cours de leur réunion la semaine dernière , neuf premiers ministres provinciaux et les deux leaders territoriaux ont réaffirmé leur désir de collaborer plus étroitement avec le gouvernement de le Canada dans les domaines de les soins de santé et de la politique sociale .
le gouvernement se réjouit de le intérêt continu de les premiers ministres et de les leaders territoriaux à travailler de concert , et il se engage à collaborer de encore plus près avec eux pour régler ces importantes questions .
comme étape suivante , les premiers ministres se rencontreront cet automne pour travailler ensemble sur les questions de le chômage chez les jeunes , de les soins médicaux et de le renouvellement de la politique sociale .
pour promouvoir et renforcer notre unité , le gouvernement adoptera une démarche ouverte et englobante .
toutes les grandes mesures que il prendra serviront à faire de le Canada un pays meilleur , et , de ce fait , plus uni .
le gouvernement abordera son mandat dans un esprit de collaboration et de partenariat avec tous ses partenaires de la société canadienne .
le Canada nous offre un espace et de les moyens communs pour réaliser notre potentiel .
nous nous affaiblirions irrémédiablement et nous connaîtrions un changement irréversible , si nous cessions de maintenir le exemple que le Canada offre à le monde .
le avenir de notre pays nous est trop précieux pour que nous risquions de le compromettre à cause de malentendus .
ce est pourquoi le gouvernement se assurera que tout débat visant à remettre en question le existence même de le Canada ou son unité soit franc et transparent .
il se emploiera à mieux faire comprendre la complexité de tout projet de rupture et les difficultés véritables qui nous attendent si nous brisons les liens que nous avons tissés en édifiant ensemble notre nation .
et surtout , il montrera que nous pourrons accomplir beaucoup plus en demeurant ensemble que en rompant ces liens .
le gouvernement travaillera de près avec les gouvernements provinciaux et territoriaux à bâtir sur ce que ont accompli les neuf premiers ministres et les leaders territoriaux la semaine dernière à Calgary , dans le but de en arriver à la pleine reconnaissance de la diversité propre à la fédération , y inclus de le caractère unique de la société québécoise .
nous nous inspirerons de le respect mutuel qui existe entre les Canadiens pour créer le avenir meilleur auquel nous aspirons tous .
investir dans nos enfants
un pays qui a décidé de investir dans ses enfants est un pays qui a foi en le avenir .
et un pays qui investit dans ses enfants aura un avenir meilleur .
un de nos objectifs en tant que pays devrait être de nous assurer que tout est mis en oeuvre pour permettre à tous les enfants de le Canada de réaliser leur potentiel .
nous devons tous faire en sorte que nos enfants soient capables de apprendre et de participer pleinement à la vie de la société .
certes , ce sont les familles qui sont responsables , à le premier chef , de élever leurs enfants et de favoriser leur développement .
cela exige que le on mette le accent sur ce dont ils ont besoin pour se épanouir .
les expériences que vivent nos enfants , en particulier lorsque ils sont encore tout jeunes , ont une influence sur leur santé , sur leur bien - être , ainsi que sur leur capacité de apprentissage et de adaptation pendant toute leur vie .
en investissant dès maintenant dans le bien - être de les enfants , nous améliorerons la santé à long terme de notre société .
une de les priorités de le gouvernement est de répondre à les besoins de les familles à faible revenu qui ont de les enfants .
les gouvernements fédéral , provinciaux et territoriaux sont convenus de coopérer à la recherche de solutions à les problèmes de les familles à faible revenu ayant de les enfants .
de concert , nous édifions maintenant un régime de prestation nationale pour enfants complet et efficace .
le gouvernement a déjà donné la preuve de son souci de réaliser ce projet en accroissant de 850 millions de dollars par an sa contribution à la prestation fiscale pour enfants , et les paiements majorés à les familles commenceront le 1 er juillet 1998 .
le gouvernement se emploiera avec ses partenaires provinciaux et territoriaux à établir un calendrier commun pour augmenter la contribution fédérale à la prestation fiscale pour enfants de à le moins 850 millions de dollars supplémentaires à le cours de ce mandat .
le gouvernement travaillera également avec les provinces et les territoires à la création de un cadre national de réinvestissement qui guidera la réaffectation de les épargnes de nos partenaires à de nouveaux services et prestations à le intention de les familles à faible revenu ayant de les enfants .
nous avons les moyens de améliorer la vie de nos enfants .
pour se épanouir et demeurer en santé , ceux - ci ont besoin que on leur consacre temps et attention ; ils ont aussi besoin de familles épanouies , de collectivités qui leur apportent soutien et sécurité .
en janvier 1997 , les gouvernements fédéral , provinciaux et territoriaux ont convenu de élaborer ensemble le Programme national de le enfance , une stratégie complète destinée à améliorer le bien - être de nos enfants .
les gouvernements fédéral , provinciaux et territoriaux uniront leurs efforts pour élaborer ce programme élargi à le intention de les enfants , en établissant notamment de les indicateurs permettant de en juger le succès .
dans le cadre de ce programme national , le gouvernement de le Canada mettra en oeuvre trois initiatives nouvelles :
il établira de les centres de excellence destinés à approfondir notre compréhension de le développement et de le bien - être de les enfants , et à améliorer notre capacité de répondre à leurs besoins .
il étendra à les réserves le programme Bon départ à le intention de les Autochtones , afin de permettre à tous les enfants autochtones de partir de le bon pied dans la vie .
il mesurera la maturité scolaire de nos enfants et fera de les rapports périodiques qui permettront de évaluer les progrès accomplis pour leur donner les meilleures chances de départ dans la vie .
investir dans le domaine de la santé et de les soins de qualité
pourtant , les Canadiens sont de plus en plus inquiets face à la situation actuelle et à le avenir de leur régime de soins de santé .
ils se demandent se ils continueront à avoir accès à les meilleurs soins possible lorsque ils en auront besoin .
cette inquiétude a de les causes multiples , notamment la rapidité et le ampleur de la restructuration entreprise depuis quelques années .
le gouvernement de le Canada reconnaît que cette restructuration a été difficile pour les Canadiens . Il a donc décidé de accroître son aide financière à les provinces par rapport à les niveaux budgétés .
il déposera un projet de loi portant à 12 , 5 milliards de dollars les paiements en espèces annuels garantis , à les provinces et à les territoires , dans le cadre de le Transfert canadien en matière de santé et de programmes sociaux .
un de les objectifs de notre pays doit être de continuer à assurer à tous les citoyens le accès à les meilleurs soins de santé possible et de mettre à leur disposition les outils nécessaires pour jouir de une bonne santé à le seuil de le XXIe siècle .
les Canadiens ont le droit de attendre de leurs gouvernements que ils collaborent dans le harmonie afin de mieux atteindre les objectifs communs de les Canadiens et de satisfaire leur désir de disposer de un meilleur régime de santé .
le gouvernement est fermement résolu à maintenir un système de soins de santé complet et administré par le secteur public , qui assurera à les Canadiens de toutes les régions de le pays un accès universel à de les soins de haute qualité .
le gouvernement a un rôle de premier plan à jouer pour protéger et renforcer le assurance - maladie .
il a également un rôle constructif à jouer avec les provinces et les autres parties intéressées .
il assumera ce rôle dans un esprit de ouverture , de pragmatisme et de innovation .
nous pouvons prendre de les mesures pour guider les efforts de tous les gouvernements , et nous le ferons .
préparer le Canada en vue de le XXIe siècle suppose notamment de nous assurer que le régime de assurance - maladie est adapté à les besoins de le avenir .
cela veut dire répondre à les défis nouveaux .
en collaboration avec ses partenaires , le gouvernement prendra les mesures suivantes :
il appuiera les Canadiens dans leurs efforts pour répondre à les besoins croissants de soins à domicile et de soins communautaires .
il établira un plan national , un calendrier et un cadre financier afin de assurer à la population canadienne un meilleur accès à les médicaments indispensables .
il améliorera la qualité et le efficacité de les services de santé partout à le Canada en établissant le Fonds de transition pour les sciences de la santé afin de aider les gouvernements provinciaux à innover dans le domaine de les soins primaires , et à intégrer davantage la prestation de les services de santé et de les soins à domicile et le assurance - médicaments .
les Canadiens reconnaissent que leur santé dépend de beaucoup plus que de les soins médicaux .
la situation sociale et économique contribue également à déterminer la qualité de la santé .
nous devons , en tant que pays , intensifier nos efforts pour promouvoir de les modes de vie sains .
le gouvernement oeuvrera dans ce sens par le truchement de un programme destiné à promouvoir la santé .
on mettra également le accent sur les facteurs qui déterminent la santé de la population de un pays , dont le égalité de les chances économiques et sociales offertes à tous les citoyens .
certains de les problèmes de santé les plus pressants se trouvent actuellement dans les collectivités autochtones .
le gouvernement travaillera de concert avec de autres partenaires et avec les collectivités autochtones :
à élaborer de nouvelles initiatives pour faire face à le augmentation rapide de les cas de tuberculose et de diabète dans les communautés autochtones ;
à accroître la recherche et la diffusion de renseignements sur la santé axés sur les besoins de les peuples autochtones , grâce à la création de un institut sur la santé de les Autochtones .
le gouvernement collaborera avec ses partenaires provinciaux et avec de autres parties intéressées à le amélioration de les systèmes canadiens de information sur la santé en vue de rendre plus efficaces les décisions touchant la santé et les soins partout à le Canada .
vivre en sécurité dans nos collectivités
une de les marques distinctives de le identité canadienne est le fait que nous vivons en sécurité dans nos collectivités .
même si le taux de criminalité rapporté a diminué à le cours de les quatre dernières années , il est encore trop élevé .
le gouvernement se engage à faire en sorte que le Canada soit un endroit où les Canadiens se sentent en sécurité chez eux et dans la rue .
vivre en toute sécurité suppose une solide prévention de le crime et le utilisation de les moyens juridiques conventionnels .
les gouvernements de le monde entier sont en train de mettre à le point de les programmes communautaires de prévention .
il augmentera à 30 millions de dollars par année le financement de les mesures communautaires de prévention de le crime .
il élaborera de les solutions de rechange à le incarcération de les contrevenants non violents à risque peu élevé , telles que de les réformes à les modes de détermination de les peines et de les programmes communautaires de déjudiciarisation , et de autres formes de sanctions .
il intégrera les systèmes de diffusion de le information de tous les partenaires de le appareil de justice pénale .
offrir de les possibilités à les jeunes Canadiens
la génération actuelle de jeunes Canadiens est la plus instruite de notre histoire .
ils vivent dans un pays bien placé pour profiter de les possibilités que offre la nouvelle économie .
pourtant , le niveau de chômage de les Canadiens de 18 à 25 ans est inacceptable .
les gouvernements fédéral , provinciaux et territoriaux agiront face à ce problème , et les premiers ministres et les leaders territoriaux se y attaqueront à leur réunion de le automne .
pour préserver le avenir de notre société , notre défi immédiat est de assurer une insertion réussie de les jeunes dans le monde de le travail , de faire en sorte que les jeunes qui veulent continuer à apprendre aient accès à le éducation , et que une seconde chance soit offerte à ceux qui ont trouvé difficile de se faire une place dans le monde de le travail .
il est dans le intérêt de tous les Canadiens que ce défi soit relevé avec succès .
aucun secteur de la société , aucun gouvernement ne possède toutes les solutions .
il faut que nous travaillions de concert , chacun dans son domaine de compétence , pour relever le défi que nous nous sommes fixé .
le gouvernement se réjouit de le fait que le secteur privé ait pris de les mesures telles que Avantage Carrière et la création de un conseil de entreprises sur la place de les jeunes dans le économie ; il le encourage à continuer dans ce sens .
le gouvernement est résolu à travailler avec les autres gouvernements , le secteur privé , les collectivités et les citoyens pour fournir à les jeunes les outils pour faire face à le avenir .
assurer le plus grand accès possible à le éducation postsecondaire est un rôle important pour tous les gouvernements .
les Canadiens se inquiètent de le augmentation de le coût de le enseignement supérieur et de les dettes que cela impose à les étudiants .
dans son budget de février 1997 , le gouvernement a pris de les mesures importantes pour faire face à ce problème .
il continuera de réduire les obstacles à le éducation postsecondaire en apportant de autres modifications à le Programme canadien de prêts à les étudiants , en augmentant le aide à les étudiants ayant de les personnes à charge , et en créant de les bourses qui encourageront le excellence et aideront les Canadiens à revenu faible ou modeste à fréquenter le collège ou le université .
le gouvernement trouve inacceptable que de les milliers de emplois demeurent vacants dans les secteurs à croissance élevée de notre économie , alors même que de les jeunes Canadiens sont à le chômage .
le gouvernement collaborera avec les provinces , les universités et les collèges , le secteur de la haute technologie et les autres secteurs en croissance rapide pour établir de meilleures prévisions de le nombre et de les types de emplois disponibles , et pour élaborer un plan assurant que les Canadiens soient éduqués adéquatement pour combler ces postes .
trois facteurs jouent un rôle important pour le insertion dans le monde de le travail - un bon niveau de instruction , la possibilité de trouver un premier emploi , et la présence de mentors qui aident les jeunes à se établir .
le gouvernement consacrera plus de ressources à le aide à les jeunes afin de faciliter leur insertion dans le monde de le travail et de la rendre productive .
les programmes de stage , en particulier , ont donné de excellents résultats dans ce domaine .
un programme pancanadien de mentorat sera créé en partenariat avec les gouvernements provinciaux et le secteur privé .
pour aider les jeunes Canadiens qui ont besoin de prendre un second départ , le gouvernement élaborera et étoffera les programmes communautaires destinés à les jeunes qui ont le plus de difficultés à se tailler une place dans le monde de le travail , à cause de leur peu de instruction et de compétences .
ces centres apporteront une aide socioculturelle ciblée , et ils fourniront plus de possibilités de emploi et de apprentissage à les jeunes Autochtones vivant en milieu urbain .
le gouvernement continuera à soutenir les efforts de les particuliers , de les collectivités et de les autres gouvernements pour accroître la capacité de apprentissage permanent de les Canadiens .
investir dans le savoir et la créativité
la révolution dans les domaines de le savoir et de le information transforme tous les secteurs de le économie , depuis celui de les ressources jusque à celui de les services .
le Canada est bien placé pour se imposer comme chef de file à le sein de le économie mondiale de le XXIe siècle , qui sera axée sur les connaissances .
il possède les talents , les ressources , la technologie et les institutions nécessaires .
si nous réussissons à mobiliser nos ressources , nos citoyens seront en mesure de se tailler une place dans le économie mondiale fondée sur le savoir .
nous stimulerons ainsi la création constante de emplois et la croissance soutenue de notre niveau de vie à le XXIe siècle .
le gouvernement est résolu à faire plus pour soutenir ceux qui innovent et prennent de les risques , et pour attirer plus de investissements étrangers à le Canada dans les industries fondées sur le savoir .
nous formerons de les partenariats créateurs entre le secteur privé et le secteur public afin de accélérer le adoption de technologies innovatrices dans tous les domaines .
en particulier , le gouvernement accroîtra sensiblement les ressources destinées à aider les petites et moyennes entreprises à développer et à commercialiser de nouvelles technologies .
le gouvernement explorera de les politiques et de les mesures innovatrices destinées à élargir les possibilités de les Canadiens de les communautés rurales .
il adaptera ses programmes afin de refléter les réalités socio - économiques de les milieux ruraux de le Canada .
il redoublera de efforts afin que les communautés rurales et toutes les régions de le Canada profitent de les avantages de le économie mondiale fondée sur le savoir .
les gouvernements ont un rôle capital à jouer pour appuyer la science , la technologie et la création de le savoir .
la dotation par le gouvernement de le Canada de la Fondation canadienne pour le innovation , en partenariat avec le secteur privé , les provinces et les universités , contribue à la mise sur pied de un système national de innovation de pointe .
tous les gouvernements doivent accroître leur aide à la recherche effectuée dans les universités .
le appui à le savoir va à le - delà de le aide à la recherche universitaire .
en soutenant davantage les arts , on permet à la culture canadienne de atteindre de les publics à le pays et à le étranger .
nos films , nos livres , nos périodiques , nos pièces de théâtre , nos vidéos , notre musique et nos productions multimédias nous parlent de nous en même temps que ils font connaître la créativité canadienne dans le monde .
par conséquent , le gouvernement de le Canada accroîtra son soutien à le Conseil de les Arts , et il se emploiera particulièrement à aider la culture à le pays et à promouvoir le commerce de les produits et services culturels et éducatifs canadiens à le étranger .
nous mettrons le infrastructure de le information et de le savoir à la portée de tous les Canadiens de ici le an 2000 , ce qui fera de le Canada le pays le plus « branché » de le monde .
les citoyens , les écoles , les bibliothèques , les petites et grandes entreprises , les collectivités rurales et autochtones , les institutions publiques et tous les paliers de gouvernement auront ainsi de nouvelles occasions de apprendre , de communiquer entre eux , de faire de les affaires et de développer leur vie sociale et économique .
par exemple , nous augmenterons la capacité de les milieux bénévoles à engager de les Canadiens en leur facilitant le accès à les moyens techniques nécessaires pour que ils jouent un rôle plus important dans la société canadienne .
un pays « branché » , ce est beaucoup plus que un réseau de fils , de câbles et de ordinateurs .
ce est un pays où les citoyens ont accès à les compétences et à les connaissances dont ils ont besoin pour profiter de le infrastructure de le savoir et de le information qui évolue si rapidement .
ce est aussi un pays dont les citoyens sont reliés les uns à les autres .
le gouvernement continuera , de concert avec les provinces , à donner une plus grande mobilité à les personnes handicapées et à assurer leur intégration dans la vie sociale et économique de le pays .
le gouvernement mettra aussi de le avant de les mesures pour renforcer les réseaux reliant les Canadiens entre eux et pour accroître la connaissance de notre pays et la compréhension entre Canadiens ; ces mesures incluront le renforcement de les programmes de échanges de jeunes Canadiens .
accroître les possibilités offertes à les communautés autochtones
il y a de les milliers de années , les peuples autochtones ont commencé à fonder les premières collectivités de le Canada .
aujourd' hui , en renforçant nos communautés autochtones , nous renforçons la diversité qui fait de le Canada un pays unique à le monde .
le gouvernement va :
développer avec les peuples autochtones de les rapports fondés sur les principes de le partenariat , de la transparence , de la prévisibilité et de la responsabilité ;
appuyer le édification de communautés autochtones fortes , qui donneront à leurs membres de meilleures conditions de vie et de meilleures possibilités ;
renforcer la capacité de les communautés autochtones de bien se gouverner .
à ces fins , le gouvernement se est engagé à répondre aussitôt que possible à le rapport de la Commission royale sur les peuples autochtones .
regard vers le extérieur
ce est là le héritage de le ancien premier ministre Lester B. Pearson , lauréat de le prix Nobel , dont on aurait célébré le centenaire cette année .
les Canadiens veulent que leur gouvernement transmette ce legs et lui donne un souffle nouveau à le moment où le monde se apprête à entrer dans le prochain siècle .
rien ne illustre mieux notre fidélité à ce legs que le rôle de chef de file joué par le Canada depuis 1994 dans la croisade internationale contre les mines antipersonnel .
cette initiative canadienne , audacieuse à le origine , a débouché sur un large consensus international qui se amplifie et qui aboutira à la signature de un traité international à Ottawa , en décembre prochain .
le patrimoine naturel riche et diversifié de notre pays est une source de fierté nationale et un objet de admiration à le échelle internationale .
la population canadienne est à la fois la bénéficiaire et la gardienne de un pays qui recèle 9 p. 100 de le eau douce de la terre , 10 p. 100 de ses forêts et 25 p. 100 de ses terres humides .
nous tirons grand plaisir de notre magnifique environnement , mais nous nous inquiétons de son avenir .
entretenir ce qui est en bon état et améliorer ce qui a été détérioré exige un effort constant .
le gouvernement fera cet effort .
le gouvernement se est engagé à travailler sur la scène internationale pour promouvoir le développement durable et pour trouver de les solutions pratiques à les problèmes de environnement mondiaux comme le émission de les gaz à effet de serre et les produits chimiques toxiques .
il continuera de traiter le problème international sérieux de la surpêche .
il est résolu à prendre de les mesures nationales pour réduire la part de le Canada dans ces problèmes .
dans le même esprit de internationalisme propre à le Canada , le gouvernement prendra les mesures suivantes :
il fera la promotion de les valeurs canadiennes sur la scène mondiale en coopérant avec les pays qui partagent ses vues afin de revivifier les Nations Unies et de autres grandes institutions multilatérales .
il travaillera directement avec de autres pays pour mettre en valeur et promouvoir les droits de la personne , le édification de la paix et la démocratie .
il détruira les stocks de mines antipersonnel de le ministère de la Défense nationale préalablement à la signature de le traité de Ottawa , en décembre , pour poursuivre son oeuvre de chef de file et manifester son engagement en faveur de une interdiction mondiale .
et le Canada continuera de militer pour le adoption de une stratégie internationale connexe destinée à aider les victimes de mines antipersonnel à se rétablir et les populations civiles à déminer et reconquérir leurs terres .
il poursuivra son travail de réforme de les forces armées canadiennes .
il poursuivra sa campagne de libéralisation de le commerce .
le élimination de les barrières commerciales à le Canada même et ailleurs dans le monde ouvre de les marchés pour les biens et services canadiens et est la meilleure occasion de accroître notre prospérité .
célébration de le nouveau millénaire
le début de le nouveau millénaire donnera à les Canadiens une occasion historique de célébrer leurs réalisations et de souligner leurs espoirs pour le avenir .
ce sera une occasion sans égale de montrer à nous - mêmes et à le reste de le monde la richesse de notre diversité , la force de les valeurs canadiennes et le avenir prometteur que nous réserve le xxie siècle .
le gouvernement aidera à former de les partenariats entre les gouvernements , les collectivités et les citoyens en vue de célébrer le nouveau millénaire .
de nombreux Canadiens ont de les idées et de les suggestions originales de projets de le millénaire .
les parlementaires de tous les partis se verront offrir le occasion de suggérer de les activités pour souligner le nouveau millénaire .
sur la voie de le XXIe siècle
il y a près de cent ans , sir Wilfrid Laurier déclarait que le XXe siècle serait celui de le Canada et de son développement .
il avait raison .
aujourd' hui , nous avons la chance de atteindre à le XXIe siècle un succès qui dépassera largement ce que Laurier aurait jamais pu imaginer .
pour y arriver , il y a encore de le travail à faire - travail que personne ne peut faire seul .
nous devons tous assumer la responsabilité de notre collectivité et de notre pays .
notre plus grande responsabilité consiste à forger un nouvel esprit de partage et de respect mutuel en vue de le prochain siècle .
en travaillant ensemble , en respectant le atout que est notre diversité , nous garantirons notre avenir et nous bâtirons un pays plus fort .
nous nous assurerons que les perspectives économiques soient solides , nos enfants bien préparés , nos vies saines et nos communautés fortes .
chaque génération peut choisir le genre de société que elle veut laisser à ses enfants .
à le aube de le nouveau millénaire , le meilleur héritage que nous puissions léguer sera un souffle dynamique qui fera de le Canada un endroit meilleur , un pays plus fort , à le avenir prometteur et riche de promesses pour sa jeunesse .
en travaillant tous ensemble , nous y parviendrons .
mesdames et Messieurs les députés ,
vous serez appelés à voter les crédits nécessaires pour financer les services et les dépenses approuvés par le Parlement .
honorables sénateurs et sénatrices , Mesdames et Messieurs les députés ,
puisse la divine Providence vous guider dans vos délibérations .
le très hon. Jean Chrétien ( premier ministre , Lib . ) propose :
que le discours de le Trône que Son Excellence a prononcé aujourd' hui devant les deux Chambres de le Parlement soit pris en considération plus tard aujourd' hui .
( La motion est adoptée )
* * *
le BUREAU DE RÉGIE INTERNE
le Président :
je ai le honneur de informer la Chambre que les députés suivants ont été nommés membres de le Bureau de régie interne , à les fins et en vertu de les dispositions de la Loi modifiant la Loi sur le Parlement de le Canada , chapitre 42 , premier supplément , Statuts révisés de le Canada de 1985 , ce est - à - dire :
M. Boudria et M. Gagliano , membres de le Conseil privé de la Reine ; M. Kilger et Mme Catterall , représentants de le caucus de le gouvernement ; M. Strahl et M. White ( Langley - Abbotsford ) , représentants de le caucus réformiste ; et M. Bergeron , représentant de le Bloc québécois .
* * *
le RÈGLEMENT
le hon. Don Boudria ( Glengarry - Prescott - Russell , Lib . ) :
monsieur le Président , conformément à le avis , je propose que le Règlement soit modifié comme suit :
à le paragraphe 104 ( 1 ) , par substitution , à le mot « quatorze » , de le mot « seize » ;
2 . par substitution , à le paragraphe 104 ( 2 ) , de ce qui suit :
( 2 ) Les comités permanents qui , sous réserve de le paragraphe ( 1 ) de le présent article , comprennent le nombre de députés précisé ci - dessous et pour lesquels on dressera une liste de membres , sont les suivants :
a ) le Comité de les affaires autochtones et de le développement de le Grand Nord ( seize membres ) ;
b ) le Comité de le agriculture et de le agroalimentaire ( seize membres ) ;
c ) le Comité de le patrimoine canadien ( seize membres ) ;
d ) le Comité de la citoyenneté et de le immigration ( seize membres ) ;
e ) le Comité de le environnement et de le dévelop - pement durable ( seize membres ) ;
f ) le Comité de les finances ( seize membres ) ;
g ) le Comité de les pêches et de les océans ( seize membres ) ;
h ) le Comité de les affaires étrangères et de le commerce international ( seize membres ) ;
i ) le Comité de la santé ( seize membres ) ;
j ) le Comité de le développement de les ressources humaines et de la condition de les personnes handicapées ( seize membres ) ;
k ) le Comité de le industrie ( seize membres ) ;
l ) le Comité de la justice et de les droits de la personne ( seize membres ) ;
m ) le Comité de la défense nationale et de les anciens combattants ( seize membres ) ;
